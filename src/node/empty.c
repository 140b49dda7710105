/* The module's objects all come from quorcard_core. */

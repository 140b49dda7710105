// Emission of the card to the renderer library. Not written yet: emit()
// writes nothing until the patch-mesh emission lands.
#include "node/QuorCard.h"

namespace quorcard {

void QuorCard::emit() {}

}  // namespace quorcard

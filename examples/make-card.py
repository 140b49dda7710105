#!/usr/bin/env python3
"""Makes examples/card.json with quorhost: a card bent into a gentle wave,
every point and tangent handle set on the same smooth surface, textured by
checker.png and hung under an Axis turned 15 degrees.

Run from the repository root after a build: python3 examples/make-card.py
"""
import math
import subprocess
import sys


def height(x, y):
    return 0.18 * math.sin(math.pi * (x + 0.5)) * (0.6 + 0.4 * math.cos(math.pi * y))


def main():
    n = 4
    args = ["build/bin/quorhost",
            "--new", "Axis", "Axis1", "--set", "rotate", "0,15,0",
            "--new", "Read", "Read1", "--set", "file", "examples/checker.png",
            "--new", "QuorCard", "QuorCard1", "--connect", "axis", "Axis1", "--connect", "img", "Read1",
            "--set", "type", "smooth with handles",
            # Handles are placed one by one: keep each edit from turning the opposite one.
            "--set", "break_tangent", "1"]
    offsets = [(-1, 0), (0, -1), (1, 0), (0, 1)]  # left, down, right, up
    for r in range(n):
        for c in range(n):
            x, y = c / (n - 1) - 0.5, r / (n - 1) - 0.5
            args += ["--set", f"control_point.{c}.{r}", f"{x:.6f},{y:.6f},{height(x, y):.6f}"]
            for k, (dc, dr) in enumerate(offsets):
                if not (0 <= c + dc < n and 0 <= r + dr < n):
                    continue  # no handle points out of the card
                hx, hy = x + dc / (3 * (n - 1)), y + dr / (3 * (n - 1))
                args += ["--set", f"control_point.{c}.{r}.{k}", f"{hx:.6f},{hy:.6f},{height(hx, hy):.6f}"]
    args += ["--set", "break_tangent", "0", "--save", "examples/card.json"]
    return subprocess.run(args).returncode


if __name__ == "__main__":
    sys.exit(main())

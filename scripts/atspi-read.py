#!/usr/bin/env python3
"""Reads values of the running kestrel by their accessible names over AT-SPI, as a
screen reader finds them: the control named by its caption, its text through the
text interface.

Usage: scripts/atspi-read.py [NAME ...]        (default: Lat, the main window's latitude)
Run kestrel with QT_ACCESSIBILITY=1 on the same D-Bus session first (README, Accessibility).
Needs python3-pyatspi and at-spi2-core. Exits 1 when a name is not found.
"""
import sys

import pyatspi


def kestrel():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name.lower() == "kestrel":
            return app
    return None


def find(node, name, depth=0):
    # The windows are shallow; the depth bound only guards against a cycle in the tree.
    if node is None or depth > 30:
        return None
    # The caption bears the same name; the value is the one with a text interface.
    if node.name == name and "Text" in node.get_interfaces():
        return node
    for child in node:
        hit = find(child, name, depth + 1)
        if hit is not None:
            return hit
    return None


def main(names):
    app = kestrel()
    if app is None:
        print("kestrel is not on the accessibility bus", file=sys.stderr)
        return 1
    missing = 0
    for name in names:
        node = find(app, name)
        if node is None:
            print(f"{name}: not found", file=sys.stderr)
            missing += 1
            continue
        text = node.queryText()
        print(f"{name} ({node.getRoleName()}): {text.getText(0, text.characterCount)}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:] or ["Lat"]))

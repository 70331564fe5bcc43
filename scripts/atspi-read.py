#!/usr/bin/python3
"""Reads values of the running kestrel by their accessible names over AT-SPI, as a
screen reader finds them: the control labelled by its caption, its text through the
text interface.

Usage: scripts/atspi-read.py [--press NAME ...] [--wait SECONDS] [NAME ...]
  NAME          a value's caption (default: Lat, the main window's latitude)
  --press NAME  first activates the showing button or menu item of that name, as a
                screen reader's user does: OK of the port dialog at start, Position
                of the View menu
  --wait S      how long to wait for each name and its first text (default 10)
Run kestrel with QT_ACCESSIBILITY=1 on the same D-Bus session first (README, Keyboard and
screen readers). Needs Debian's python3-pyatspi and at-spi2-core, hence the system's
python3. Exits 1 when a name is not found.
"""
import argparse
import sys
import time

import pyatspi


def kestrel():
    for app in pyatspi.Registry.getDesktop(0):
        if app is not None and app.name.lower() == "kestrel":
            return app
    return None


def showing(node):
    return node.getState().contains(pyatspi.STATE_SHOWING)


def labelled(node):
    return any(r.getRelationType() == pyatspi.RELATION_LABELLED_BY
               for r in node.getRelationSet())


def find(node, accept, depth=0):
    # The windows are shallow; the depth bound only guards against a cycle in the tree.
    if node is None or depth > 30:
        return None
    if accept(node):
        return node
    for child in node:
        hit = find(child, accept, depth + 1)
        if hit is not None:
            return hit
    return None


def value(name, filled=True):
    # The caption bears the same name; the value is the text labelled by it, empty until
    # the receiver's first message.
    return lambda n: (n.name == name and "Text" in n.get_interfaces() and labelled(n)
                      and showing(n) and (not filled or n.queryText().characterCount > 0))


def pressable(name):
    # A menu's items are there to press while the menu is closed, as its shortcuts are.
    return lambda n: (n.name == name and "Action" in n.get_interfaces()
                      and (showing(n) or n.getRole() == pyatspi.ROLE_MENU_ITEM))


def wait_for(accept, seconds):
    end = time.monotonic() + seconds
    while True:
        app = kestrel()
        hit = find(app, accept) if app is not None else None
        if hit is not None or time.monotonic() >= end:
            return hit
        time.sleep(0.5)


def main():
    parser = argparse.ArgumentParser(description="Reads kestrel's values over AT-SPI.")
    parser.add_argument("--press", action="append", default=[], metavar="NAME")
    parser.add_argument("--wait", type=float, default=10, metavar="SECONDS")
    parser.add_argument("names", nargs="*", default=["Lat"], metavar="NAME")
    args = parser.parse_args()
    if wait_for(lambda n: True, args.wait) is None:
        print("kestrel is not on the accessibility bus", file=sys.stderr)
        return 1
    for name in args.press:
        node = wait_for(pressable(name), args.wait)
        if node is None:
            print(f"{name}: nothing to press", file=sys.stderr)
            return 1
        node.queryAction().doAction(0)
        print(f"pressed {name} ({node.getRoleName()})")
    missing = 0
    for name in args.names:
        node = wait_for(value(name), args.wait) or find(kestrel(), value(name, False))
        if node is None:
            print(f"{name}: not found", file=sys.stderr)
            missing += 1
            continue
        text = node.queryText()
        print(f"{name} ({node.getRoleName()}): {text.getText(0, text.characterCount)}")
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())

#!/usr/bin/env python3
"""Checks that every quoted #include points down the layers of the source tree.

    check_layers.py SOURCE_DIR            exit 0 when all includes keep to the layers, 1 otherwise
    check_layers.py --planted SOURCE_DIR  plants a climbing include and exits 0 when it is caught

A unit is a folder (its posix/ and win32/ subfolders belong to it); each unit names the units
it may include. An include not covered by that list is printed with its file and line.
"""
import os
import re
import sys

CORE = ["os", "link", "device", "text", "store", "recording/format", "recording", "trend",
        "publish"]

# Lowest first. A unit may include itself and what it names here.
ALLOWED = {
    "os": [],
    "link": ["os"],
    "device": ["link", "os"],
    "text": ["device", "os"],
    "store": ["text", "os"],
    "recording/format": ["device", "text", "os"],
    "recording": ["recording/format", "device", "text", "os"],
    "trend": ["recording/format", "device", "text", "os"],
    "publish": ["store", "device", "text", "os"],
    "settings": ["publish", "recording", "recording/format", "store", "device", "link", "text",
                 "os"],
    "recorder": ["settings", "publish", "recording", "recording/format", "store", "device", "link", "text",
                 "os"],
    "tools": ["trend", "recording/format", "device", "text", "os"],
    "ui/dialogs": CORE + ["settings"],
    "ui/trend": CORE + ["settings"],
    "ui": CORE + ["settings", "ui/dialogs", "ui/trend"],
    "app": CORE + ["settings", "ui", "ui/dialogs", "ui/trend"],
}

# The simulator is another program talking to ours: it shares only the checksum.
FILES_ALLOWED = {"sim": {"link/ModbusCrc.h"}}
ALLOWED["sim"] = ["os"]

# Above every layer: they may include anything.
UNCHECKED = ("tests/", "bench/", "build")

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


def unit_of(path):
    """The unit a path (relative, with /) belongs to: the longest unit name that prefixes it."""
    best = None
    for unit in ALLOWED:
        if path == unit or path.startswith(unit + "/"):
            if best is None or len(unit) > len(best):
                best = unit
    return best


def check_include(source, target):
    """None when `source` may include `target`, else the reason."""
    here = unit_of(source)
    there = unit_of(target)
    if here is None or there is None or there == here:
        return None
    if there in ALLOWED[here] or target in FILES_ALLOWED.get(here, ()):
        return None
    return f"{here} may not include {there}"


def sources(root):
    for folder, dirs, files in os.walk(root):
        rel = os.path.relpath(folder, root).replace(os.sep, "/")
        dirs[:] = [d for d in dirs if not d.startswith(".") and
                   not (rel == "." and d.startswith(UNCHECKED))]
        for name in files:
            if name.endswith(SOURCE_SUFFIXES):
                path = name if rel == "." else rel + "/" + name
                yield path


def violations(root, extra=()):
    found = []
    listed = [(path, None) for path in sources(root)] + list(extra)
    for path, text in listed:
        if text is None:
            with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
                text = f.read()
        for number, line in enumerate(text.splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            reason = check_include(path, match.group(1))
            if reason:
                found.append(f"{path}:{number}: #include \"{match.group(1)}\": {reason}")
    return found


def main(argv):
    planted = len(argv) > 1 and argv[1] == "--planted"
    args = argv[2:] if planted else argv[1:]
    if len(args) != 1 or not os.path.isdir(args[0]):
        print("usage: check_layers.py [--planted] SOURCE_DIR", file=sys.stderr)
        return 2
    root = args[0]
    if planted:
        # A driver reaching up into the window, and the simulator into the serial backend.
        plants = [("device/Planted.cpp", '#include "ui/OrvexDlg.h"\n'),
                  ("sim/Planted.cpp", '#include "link/SerialPort.h"\n')]
        found = violations(root, plants)
        caught = [p for p, _ in plants if any(v.startswith(p + ":") for v in found)]
        if len(caught) != len(plants):
            print("planted includes not caught: " +
                  ", ".join(p for p, _ in plants if p not in caught))
            return 1
        print(f"planted includes caught: {len(caught)}")
        return 0
    found = violations(root)
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) climb the layers")
        return 1
    print("includes keep to the layers")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))

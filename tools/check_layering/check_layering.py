#!/usr/bin/env python3
"""Fails when an #include crosses a line the folder layering forbids.

Each source folder may include the project headers of the folders listed for it (a prefix such
as "player/media/" allows only that part of a folder) and nothing else of ours; the folders
marked Qt-free include no Qt header. Tests, tools and the fuzz targets are not checked.

    tools/check_layering/check_layering.py [SOURCE_ROOT]

Prints one line per crossing and exits 1 when there is any, 0 otherwise.
"""
import os
import re
import sys

# What each folder may include, most specific folder first. The engine includes nothing above
# it, the image toolkit knows no movies, platform looks down only.
ALLOWED = [
    # FFmpeg's loader stands alone; the decoders below reach FFmpeg only through it.
    ("player/avlib/", ["player/avlib/"]),
    ("player/media/", ["player/media/", "player/limits.h", "player/avlib/"]),
    # Scripts' bitmaps share the media units' plain pixel image, and their methods composite
    # and filter it with the media units' blend modes and filters.
    ("player/script/", ["player/script/", "player/limits.h", "player/media/image.h",
                        "player/media/blend.h", "player/media/filters.h"]),
    ("player/sound/", ["player/sound/", "player/limits.h", "player/avlib/"]),
    ("player/", ["player/"]),
    ("swf/", ["swf/", "platform/", "player/media/inflate.h", "player/limits.h"]),
    ("platform/", ["platform/"]),
    ("res/", ["res/"]),
    ("imaging/", ["imaging/", "platform/"]),
    ("controls/", ["controls/", "platform/", "player/", "res/"]),
    ("capture/", ["capture/", "controls/", "imaging/", "platform/", "player/", "res/"]),
    ("cli/", ["cli/", "capture/", "controls/", "imaging/", "platform/", "player/", "swf/"]),
    ("converter/", ["converter/", "capture/", "controls/", "imaging/", "platform/", "player/",
                    "res/", "swf/"]),
    ("app/", ["app/", "converter/", "capture/", "controls/", "imaging/", "platform/", "player/",
              "res/", "swf/"]),
]

# Folders that build only Qt-free targets.
QT_FREE = ["player/", "swf/", "imaging/", "cli/", "res/"]

OWN_FOLDERS = sorted({rule.split("/")[0] + "/" for _, rules in ALLOWED for rule in rules})
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
QT_HEADER = re.compile(r"^(Q[A-Za-z]*|Qt[A-Za-z]*/)")
SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc")


def rules_for(path):
    for folder, allowed in ALLOWED:
        if path.startswith(folder):
            return folder, allowed
    return None, None


def crossings(root):
    found = []
    for folder, _ in ALLOWED:
        top = os.path.join(root, folder)
        if not os.path.isdir(top):
            continue
        for base, _, files in os.walk(top):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                full = os.path.join(base, name)
                rel = os.path.relpath(full, root).replace(os.sep, "/")
                owner, allowed = rules_for(rel)
                if owner != folder:
                    continue  # a more specific rule covers it
                found += check_file(full, rel, allowed)
    return found


def check_file(full, rel, allowed):
    found = []
    with open(full, encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            bracket, header = match.groups()
            where = f"{rel}:{number}: "
            if bracket == "<":
                if QT_HEADER.match(header) and any(rel.startswith(f) for f in QT_FREE):
                    found.append(where + f"includes the Qt header <{header}> in a Qt-free folder")
                continue
            if not any(header.startswith(f) for f in OWN_FOLDERS):
                continue
            if not any(header.startswith(a) for a in allowed):
                found.append(where + f'includes "{header}", which its folder may not see')
    return found


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    found = crossings(os.path.abspath(root))
    for line in found:
        print(line)
    if found:
        print(f"{len(found)} include(s) cross the folder layering", file=sys.stderr)
        return 1
    print("the folder layering holds")
    return 0


if __name__ == "__main__":
    sys.exit(main())

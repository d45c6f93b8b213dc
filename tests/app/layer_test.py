#!/usr/bin/env python3
"""Fails when an include line crosses the order of the layers.

ui -> app -> {capture, render, editing} -> media -> timeline: a layer may
include itself and the layers it stands on, nothing else; capture, render and
editing do not include each other. The libraries' link lines follow the same
order (each CMakeLists.txt), so an include that crossed it would also be a
link the layer should not have. Run with the source tree as the argument; a
second argument names a tree to check instead (the test checks itself on a
crossing it plants).
"""
import os
import re
import sys
import tempfile

ALLOWED = {
    "timeline": {"timeline"},
    "media": {"media", "timeline"},
    "editing": {"editing", "media", "timeline"},
    "render": {"render", "media", "timeline"},
    "capture": {"capture", "media", "timeline"},
    "app": {"app", "capture", "render", "editing", "media", "timeline"},
    "ui": {"ui", "app", "capture", "render", "editing", "media", "timeline"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')


def crossings(root):
    found = []
    for layer, allowed in ALLOWED.items():
        top = os.path.join(root, layer)
        for folder, _, files in os.walk(top):
            for name in files:
                if not name.endswith((".h", ".cpp")):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        m = INCLUDE.match(line)
                        if m and m.group(1) in ALLOWED and m.group(1) not in allowed:
                            found.append(f"{os.path.relpath(path, root)}:{number}: "
                                         f"{layer}/ includes {m.group(1)}/")
    return found


def self_check():
    # The check must see a crossing: plant one in a copy of the shape.
    with tempfile.TemporaryDirectory() as tree:
        os.makedirs(os.path.join(tree, "capture"))
        with open(os.path.join(tree, "capture", "Bad.cpp"), "w") as f:
            f.write('#include "render/export/ExportWorker.h"\n#include "timeline/Moment.h"\n')
        return crossings(tree) == ["capture/Bad.cpp:1: capture/ includes render/"]


def main():
    root = sys.argv[1]
    if not self_check():
        print("the layer check does not find a planted crossing")
        return 1
    found = crossings(root)
    for f in found:
        print(f)
    files = sum(len(fs) for layer in ALLOWED for _, _, fs in os.walk(os.path.join(root, layer)))
    print(f"checked {files} files in {len(ALLOWED)} layers: {len(found)} crossings")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())

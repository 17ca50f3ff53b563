#!/usr/bin/env python3
"""Renders one corpus test's frame at the quality its manifest entry names.

For the fidelity scorer's renderer template, e.g.
  tools/frame_at_quality.py build/filmcast {swf} {frame} {width}x{height} {out}
The test is the swf's folder name; manifest.json sits in the folder above it. A test with no
quality in the manifest is drawn at high, the default.
"""
import json
import subprocess
import sys
from pathlib import Path

QUALITIES = {"low", "medium", "high", "best"}


def quality_of(swf: Path) -> str:
    try:
        manifest = json.loads((swf.parent.parent / "manifest.json").read_text())
    except (OSError, ValueError):
        return "high"
    for test in manifest.get("tests", []):
        if test.get("name") == swf.parent.name:
            quality = ((test.get("player") or {}).get("quality") or "high").lower()
            return quality if quality in QUALITIES else "high"
    return "high"


def main() -> int:
    if len(sys.argv) != 6:
        print(__doc__, file=sys.stderr)
        return 2
    filmcast, swf, frame, size, out = sys.argv[1:]
    return subprocess.call([filmcast, "frame", swf, "--at", frame, "--size", size, "-o", out,
                            "--quality", quality_of(Path(swf))])


if __name__ == "__main__":
    sys.exit(main())

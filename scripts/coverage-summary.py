#!/usr/bin/env python3
"""Prints line and branch coverage per folder of src/ and tools/ from gcovr's JSON summary.

    coverage-summary.py SUMMARY.json

A folder's figure covers the files directly in it (src/ui and src/ui/qt are two rows); the last row is
the whole of src/.
"""
import json
import os
import sys
from collections import defaultdict


def percent(covered, total):
    return f"{100.0 * covered / total:5.1f} %" if total else "    - "


def main():
    with open(sys.argv[1], encoding="utf-8") as summary:
        files = json.load(summary)["files"]
    folders = defaultdict(lambda: [0, 0, 0, 0])
    for entry in files:
        folder = os.path.dirname(entry["filename"])
        if not folder.startswith(("src", "tools")):
            continue
        sums = [entry["line_covered"], entry["line_total"], entry["branch_covered"], entry["branch_total"]]
        for row in (folder, "src (all)" if folder.startswith("src") else None):
            if row:
                folders[row] = [a + b for a, b in zip(folders[row], sums)]
    print(f"{'folder':<20} {'lines':>8} {'covered':>9} {'branches':>9} {'covered':>9}")
    for folder in sorted(folders, key=lambda name: (name == "src (all)", name)):
        lc, lt, bc, bt = folders[folder]
        print(f"{folder:<20} {lt:>8} {percent(lc, lt):>9} {bt:>9} {percent(bc, bt):>9}")


if __name__ == "__main__":
    main()

#!/usr/bin/env python3
"""Counts non-blank, non-comment lines of .cpp and .h files under src/ and under tests/ (test data in
tests/fixtures/ left out) and prints the share of test code.
  scripts/count-lines.py [N]     N: also list the N largest test files"""
import os
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def code_lines(path):
    count = 0
    in_comment = False
    with open(path, encoding="utf-8", errors="replace") as source:
        for line in source:
            text = line.strip()
            if in_comment:
                if "*/" not in text:
                    continue
                in_comment = False
                text = text.split("*/", 1)[1].strip()
            if not text or text.startswith("//"):
                continue
            if text.startswith("/*"):
                in_comment = "*/" not in text
                continue
            count += 1
    return count


def tree(top, skip=None):
    files = {}
    for directory, subdirectories, names in os.walk(os.path.join(ROOT, top)):
        if skip:
            subdirectories[:] = [d for d in subdirectories if os.path.join(directory, d) != os.path.join(ROOT, skip)]
        for name in names:
            if name.endswith((".cpp", ".h")):
                path = os.path.join(directory, name)
                files[os.path.relpath(path, ROOT)] = code_lines(path)
    return files


source = sum(tree("src").values())
tests = tree("tests", skip="tests/fixtures")
total = sum(tests.values())
print(f"src {source}  tests {total}  tests/src {100 * total / source:.1f} %")
for path, count in sorted(tests.items(), key=lambda item: -item[1])[: int(sys.argv[1]) if len(sys.argv) > 1 else 0]:
    print(f"{count:6} {path}")

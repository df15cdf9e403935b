#!/usr/bin/env python3
"""Runs scripts/check-deps.py on small fake trees and compares what it reports.

Usage: scripts/check-deps-test.py [CMAKE]
"""

import os
import subprocess
import sys
import tempfile
from pathlib import Path

CHECKER = Path(__file__).resolve().parent / "check-deps.py"

# core <- mid (PRIVATE), mid <- top (PUBLIC); shell/ holds a core part and a ui part.
BASE = {
    "core/base.h": "#pragma once\n",
    "core/base.cpp": '#include "core/base.h"\n',
    "mid/mid.h": "#pragma once\n",
    "mid/mid.cpp": '#include "mid/mid.h"\n#include "core/base.h"\n',
    "shell/core/c.h": "#pragma once\n",
    "shell/core/c.cpp": '#include "shell/core/c.h"\n',
    "shell/ui.h": "#pragma once\n",
    "shell/ui.cpp": '#include "shell/ui.h"\n#include "shell/core/c.h"\n',
    "head/head.h": '#pragma once\n#include "mid/mid.h"\n',
    "other/o.cpp": '#include "shell/core/c.h"\n',
}
CMAKE = """cmake_minimum_required(VERSION 3.25)
project(Fake LANGUAGES CXX)
add_library(core STATIC core/base.cpp core/base.h)
add_library(mid STATIC mid/mid.cpp mid/mid.h)
target_link_libraries(mid PRIVATE core)
add_library(top STATIC top/top.cpp)
target_link_libraries(top PUBLIC mid head)
add_library(head INTERFACE head/head.h)
target_link_libraries(head INTERFACE mid)
add_library(shellcore STATIC shell/core/c.cpp shell/core/c.h)
add_library(shellui STATIC shell/ui.cpp shell/ui.h)
target_link_libraries(shellui PUBLIC shellcore)
add_library(other STATIC other/o.cpp)
target_link_libraries(other PUBLIC shellui)
"""

CASES = [
    {
        "name": "everything linked",
        "top": '#include "mid/mid.h"\n#include "head/head.h"\n',
        "expected": set(),
    },
    {
        "name": "a PRIVATE link does not reach the user, an unlinked header does not either",
        "top": '#include "mid/mid.h"\n#include "core/base.h"\n',
        "expected": {
            "top/top.cpp: includes core/base.h (owned by core) but target top does not link it",
        },
    },
    {
        "name": "a shell/ header outside shell/, even when linked",
        "top": '#include "mid/mid.h"\n',
        "other": '#include "shell/ui.h"\n',
        "expected": {
            "other/o.cpp: includes shell/ui.h, a shell/ header; only shell/core/ may be "
            "included outside shell/",
        },
    },
    {
        "name": "a header-only library's includes need its INTERFACE links",
        "top": '#include "head/head.h"\n',
        "head": '#pragma once\n#include "core/base.h"\n',
        "expected": {
            "head/head.h: includes core/base.h (owned by core) but target head does not link it",
        },
    },
]


def run_case(case, cmake):
    with tempfile.TemporaryDirectory(prefix="check-deps-") as tmp:
        root = Path(tmp) / "src"
        files = dict(BASE)
        files["top/top.cpp"] = case["top"]
        if "other" in case:
            files["other/o.cpp"] = case["other"]
        if "head" in case:
            files["head/head.h"] = case["head"]
        files["CMakeLists.txt"] = CMAKE
        for rel, text in files.items():
            (root / rel).parent.mkdir(parents=True, exist_ok=True)
            (root / rel).write_text(text)
        build = Path(tmp) / "build"
        subprocess.run([cmake, "-S", str(root), "-B", str(build)], check=True,
                       stdout=subprocess.DEVNULL)
        env = dict(os.environ, CMAKE=cmake)
        r = subprocess.run([sys.executable, str(CHECKER), str(build)], capture_output=True,
                           text=True, env=env)
        got = {line for line in r.stdout.splitlines() if not line.startswith("check-deps:")}
        ok = got == case["expected"] and r.returncode == (1 if case["expected"] else 0)
        if not ok:
            print(f"FAIL {case['name']}: exit {r.returncode}\n  got {sorted(got)}\n"
                  f"  expected {sorted(case['expected'])}\n{r.stderr}")
        return ok


def main():
    cmake = sys.argv[1] if len(sys.argv) > 1 else "cmake"
    failed = [c["name"] for c in CASES if not run_case(c, cmake)]
    print(f"{len(CASES) - len(failed)}/{len(CASES)} cases pass")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())

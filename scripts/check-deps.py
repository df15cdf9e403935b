#!/usr/bin/env python3
"""Checks that every file includes only headers of libraries its target links.

Usage: scripts/check-deps.py BUILD_DIR

A root-relative include ("folder/.../x.h") belongs to the library that lists the header among
its sources (or, for a header no target lists, to the library owning the same-named .cpp or,
failing that, the only library in the header's folder). The including file's target must be
that library or link it: directly, or through the PUBLIC/INTERFACE links of what it links.
Outside shell/ (and tools/, tests/, bench/, fuzz/) only shell/core/ headers may be included.

Targets and sources come from the CMake File API (codemodel-v2), link scopes from
`cmake --graphviz`; the script writes the query and re-runs cmake on BUILD_DIR itself.
"""

import json
import os
import re
import subprocess
import sys
from pathlib import Path

LIBRARY_TYPES = {"STATIC_LIBRARY", "SHARED_LIBRARY", "MODULE_LIBRARY", "OBJECT_LIBRARY",
                 "INTERFACE_LIBRARY"}
SHELL_USERS = ("shell/", "tools/", "tests/", "bench/", "fuzz/")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
EDGE = re.compile(r'^\s*"(node\d+)"\s*->\s*"(node\d+)"(?:\s*\[([^\]]*)\])?', re.MULTILINE)
NODE = re.compile(r'^\s*"(node\d+)"\s*\[\s*label\s*=\s*"([^"]*)"', re.MULTILINE)


def configure(build):
    query = build / ".cmake" / "api" / "v1" / "query"
    query.mkdir(parents=True, exist_ok=True)
    (query / "codemodel-v2").touch()
    out = build / "check-deps"
    out.mkdir(exist_ok=True)
    # One graph for the whole project, not one file per target.
    (build / "CMakeGraphVizOptions.cmake").write_text(
        "set(GRAPHVIZ_GENERATE_PER_TARGET FALSE)\nset(GRAPHVIZ_GENERATE_DEPENDERS FALSE)\n")
    dot = out / "targets.dot"
    cmake = os.environ.get("CMAKE", "cmake")
    subprocess.run([cmake, f"--graphviz={dot}", str(build)], check=True,
                   stdout=subprocess.DEVNULL)
    return dot


def read_codemodel(build):
    reply = build / ".cmake" / "api" / "v1" / "reply"
    index = max(reply.glob("index-*.json"), key=lambda p: p.name)
    model = None
    for obj in json.loads(index.read_text())["objects"]:
        if obj["kind"] == "codemodel":
            model = json.loads((reply / obj["jsonFile"]).read_text())
    source_root = Path(model["paths"]["source"]).resolve()
    targets = {}
    for ref in model["configurations"][0]["targets"]:
        t = json.loads((reply / ref["jsonFile"]).read_text())
        files = []
        for s in t.get("sources", []):
            if s.get("isGenerated"):
                continue
            p = Path(s["path"])
            p = (p if p.is_absolute() else source_root / p).resolve()
            try:
                files.append(p.relative_to(source_root).as_posix())
            except ValueError:
                continue
        targets[t["name"]] = {"type": t["type"], "files": files}
    return source_root, targets


def read_links(dot):
    text = dot.read_text()
    names = dict(NODE.findall(text))
    links = {}
    for a, b, attrs in EDGE.findall(text):
        if a not in names or b not in names:
            continue  # the legend
        # graphviz leaves PUBLIC links unstyled (so are add_dependencies() edges, which this
        # therefore takes for links; none of ours points at a library).
        scope = "PUBLIC"
        if "dashed" in attrs:
            scope = "INTERFACE"
        elif "dotted" in attrs:
            scope = "PRIVATE"
        links.setdefault(names[a], []).append((names[b], scope))
    return links


def usable(target, links, header_only):
    """Targets whose headers `target` may include. A header-only library's own files are
    compiled by its users, so they may use what it passes on to them."""
    seen = {target}
    todo = [dep for dep, scope in links.get(target, []) if header_only or scope != "INTERFACE"]
    while todo:
        t = todo.pop()
        if t in seen:
            continue
        seen.add(t)
        todo.extend(dep for dep, scope in links.get(t, []) if scope != "PRIVATE")
    return seen


def owners(targets):
    owner = {}
    folder_libs = {}
    for name, t in sorted(targets.items()):
        is_lib = t["type"] in LIBRARY_TYPES
        for f in t["files"]:
            # A library owns its files before an executable that also lists them.
            if f not in owner or (is_lib and targets[owner[f]]["type"] not in LIBRARY_TYPES):
                owner[f] = name
            if is_lib:
                folder_libs.setdefault(os.path.dirname(f), set()).add(name)
    return owner, folder_libs


def owner_of(header, owner, folder_libs):
    if header in owner:
        return owner[header]
    stem, _ = os.path.splitext(header)
    for ext in (".cpp", ".cc", ".c"):
        if stem + ext in owner:
            return owner[stem + ext]
    libs = folder_libs.get(os.path.dirname(header), set())
    if len(libs) == 1:
        return next(iter(libs))
    return None


def headers(root):
    try:
        out = subprocess.run(["git", "-C", str(root), "ls-files", "*.h"], check=True,
                             capture_output=True, text=True).stdout
        return out.split()
    except (OSError, subprocess.CalledProcessError):
        return [p.relative_to(root).as_posix() for p in root.rglob("*.h")
                if not p.relative_to(root).as_posix().startswith(("build", "."))]


def check(build):
    dot = configure(build)
    root, targets = read_codemodel(build)
    links = read_links(dot)
    owner, folder_libs = owners(targets)

    # Every file to read, with the targets it is compiled (or listed) in. Headers no target
    # lists are read under their owner.
    checked = {}
    for name, t in targets.items():
        for f in t["files"]:
            checked.setdefault(f, set()).add(name)
    for rel in headers(root):
        if rel in checked:
            continue
        o = owner_of(rel, owner, folder_libs)
        if o:
            checked[rel] = {o}

    reach = {n: usable(n, links, t["type"] == "INTERFACE_LIBRARY") for n, t in targets.items()}
    violations = []
    for f in sorted(checked):
        if not f.endswith((".h", ".hpp", ".cpp", ".cc")):
            continue
        try:
            text = (root / f).read_text(errors="replace")
        except OSError:
            continue
        for inc in INCLUDE.findall(text):
            if "/" not in inc or inc.startswith("."):
                continue
            if not (root / inc).is_file():
                continue
            if (inc.startswith("shell/") and not inc.startswith("shell/core/")
                    and not f.startswith(SHELL_USERS)):
                violations.append(f"{f}: includes {inc}, a shell/ header; only shell/core/ "
                                  "may be included outside shell/")
            o = owner_of(inc, owner, folder_libs)
            if o is None:
                violations.append(f"{f}: includes {inc}, which no library owns")
                continue
            for t in sorted(checked[f]):
                if o not in reach.get(t, {t}):
                    violations.append(f"{f}: includes {inc} (owned by {o}) but target {t} "
                                      "does not link it")
    return violations


def main():
    if len(sys.argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    violations = check(Path(sys.argv[1]).resolve())
    for v in violations:
        print(v)
    if violations:
        print(f"check-deps: {len(violations)} violation(s)", file=sys.stderr)
        return 1
    print("check-deps: every include is linked")
    return 0


if __name__ == "__main__":
    sys.exit(main())

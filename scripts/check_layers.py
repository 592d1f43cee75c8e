#!/usr/bin/env python3
"""check_layers.py -- fails when an include in src/ points to a higher layer than its folder (the
order is src/layers.txt), when two files of one folder include each other (in a circle of any
length), or when the server or the bots include anything but the shared, stateless modules."""
import os
import re
import sys

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SRC = os.path.join(ROOT, "src")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
# What the server and the bots may use: no client state, only shared code without it.
SHARED_ONLY = {"server": None, os.path.join("tools", "isobot"): None}
SHARED_HEADERS = {"platform/console.h", "platform/encoding.h", "platform/error_codes.h", "platform/files.h", "platform/key_value.h", "platform/tls_common.h", "map/map_file.h", "map/path_search.h", "wire/wire.h"}


def layers():
    order = []
    with open(os.path.join(SRC, "layers.txt"), encoding="utf-8") as f:
        for line in f:
            line = line.split("#", 1)[0].strip()
            if line:
                order.append(line.split()[0])
    return order


def includes(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            m = INCLUDE.match(line)
            if m:
                yield number, m.group(1)


def sources(folder):
    for dirpath, _, names in os.walk(folder):
        for name in sorted(names):
            if name.endswith((".h", ".cpp")):
                yield os.path.join(dirpath, name)


def find_cycle(edges):
    """A list of nodes forming a circle in the graph, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = 1
        stack.append(node)
        for nxt in sorted(edges.get(node, ())):
            if state.get(nxt) == 1:
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    order = layers()
    rank = {name: i for i, name in enumerate(order)}
    problems = []
    present = sorted(d for d in os.listdir(SRC) if os.path.isdir(os.path.join(SRC, d)))
    for folder in present:
        if folder not in rank:
            problems.append(f"src/{folder}/ is not listed in src/layers.txt")

    for folder in present:
        units = {}   # a module: x.h with x.cpp (and x_state.cpp) -> modules whose headers it includes
        for path in sources(os.path.join(SRC, folder)):
            rel = os.path.relpath(path, ROOT)
            stem = os.path.splitext(os.path.basename(path))[0]
            unit = stem[: -len("_state")] if stem.endswith("_state") else stem
            units.setdefault(unit, set())
            for number, target in includes(path):
                target_folder = target.split("/", 1)[0] if "/" in target else None
                if target_folder not in rank:
                    continue
                if target_folder == folder:
                    other = os.path.splitext(os.path.basename(target))[0]
                    if other != unit:
                        units[unit].add(other)
                elif rank.get(folder, -1) < rank[target_folder]:
                    problems.append(f"{rel}:{number}: includes {target}, a higher layer than {folder}/")
        cycle = find_cycle(units)
        if cycle:
            problems.append(f"src/{folder}/: files include each other: " + " -> ".join(cycle))

    for folder in SHARED_ONLY:
        for path in sources(os.path.join(ROOT, folder)):
            for number, target in includes(path):
                top = target.split("/", 1)[0]
                if top in rank and target not in SHARED_HEADERS:
                    rel = os.path.relpath(path, ROOT)
                    problems.append(f"{rel}:{number}: includes {target}; {folder}/ may use only "
                                    + ", ".join(sorted(SHARED_HEADERS)))

    for p in problems:
        print(p)
    if problems:
        print(f"check_layers: {len(problems)} problem(s)")
        return 1
    print(f"check_layers: {len(order)} layers, no include upward, no circle")
    return 0


if __name__ == "__main__":
    sys.exit(main())

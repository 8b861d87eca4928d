#!/usr/bin/env python3
"""Assembles the highlighting script: the highlighter's core, the grammars of the languages asked
for (with everything they need, in an order where each grammar follows the ones it builds on or
modifies) and our entry function, concatenated into one file. Beside it, prism-languages.txt
lists the names the script has a grammar for (each language and its aliases, one a line), so that
code in other languages is known to stay plain without running the script.

usage: assemble-prism-bundle.py PRISM_DIR ENTRY_JS OUTPUT LANGUAGE...
"""

import json
import os
import sys


def as_list(value):
    if value is None:
        return []
    return value if isinstance(value, list) else [value]


def load_order(languages, wanted):
    """Every wanted language and what it requires, dependencies first. Optional and modified
    components only order the list: they are not pulled in."""
    chosen = set()
    pending = list(wanted)
    while pending:
        name = pending.pop()
        if name in chosen:
            continue
        if name not in languages:
            sys.exit(f"unknown language component: {name}")
        chosen.add(name)
        pending.extend(as_list(languages[name].get("require")))

    def before(name):
        entry = languages[name]
        names = as_list(entry.get("require")) + as_list(entry.get("modify"))
        names += as_list(entry.get("optional")) + as_list(entry.get("after"))
        return [other for other in names if other in chosen and other != name]

    order, state = [], {}

    def visit(name):
        if state.get(name) == "done":
            return
        if state.get(name) == "visiting":
            sys.exit(f"dependency cycle through {name}")
        state[name] = "visiting"
        for other in sorted(before(name)):
            visit(other)
        state[name] = "done"
        order.append(name)

    for name in sorted(chosen):
        visit(name)
    return order


def main():
    if len(sys.argv) < 5:
        sys.exit(__doc__)
    prism_dir, entry, output, wanted = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
    with open(os.path.join(prism_dir, "components.json"), encoding="utf-8") as f:
        components = json.load(f)
    languages = {k: v for k, v in components["languages"].items() if k != "meta"}
    path_pattern = components["languages"]["meta"]["path"]

    parts = [os.path.join(prism_dir, "components", "prism-core.js")]
    order = load_order(languages, wanted)
    names = set()
    for name in order:
        parts.append(os.path.join(prism_dir, path_pattern.replace("{id}", name) + ".js"))
        names.add(name)
        names.update(as_list(languages[name].get("alias")))
    parts.append(entry)

    text = []
    for part in parts:
        with open(part, encoding="utf-8") as f:
            text.append(f"// ---- {os.path.basename(part)}\n{f.read()}\n;\n")
    temporary = output + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        f.write("".join(text))
    os.replace(temporary, output)
    listed = os.path.join(os.path.dirname(output), "prism-languages.txt")
    with open(listed + ".tmp", "w", encoding="utf-8") as f:
        f.write("".join(name + "\n" for name in sorted(names)))
    os.replace(listed + ".tmp", listed)


if __name__ == "__main__":
    main()

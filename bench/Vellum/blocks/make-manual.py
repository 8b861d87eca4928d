#!/usr/bin/env python3
"""Assembles TechnicalManual.md, the long document the block benchmarks render.

The manual is made of this repository's own writing: the README, then one chapter per header of
the text, view and markdown layers (the header's opening comment as prose, a table of the types
and functions it declares, its declarations as a C++ code block), with the formulas of the math
fixtures set between chapters as display and inline math. It is committed as generated, so that
the benchmarks measure the same text whatever later happens to the sources.

    python3 bench/Vellum/blocks/make-manual.py > bench/Vellum/blocks/TechnicalManual.md
"""

import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parents[3]
FOLDERS = ["platform/text", "platform/ui", "platform/foundation", "platform/graphics",
           "Vellum/markdown", "Vellum/inline", "Vellum/blocks", "Vellum/style",
           "Vellum/highlighting", "Vellum/attachments", "Vellum/export", "Vellum/selection"]
TARGET_BYTES = 150 * 1024
DECLARATION = re.compile(
    r"^\s*(?:class|struct|enum class|using)\s+([A-Za-z_][A-Za-z0-9_]*)"
    r"|^\s*(?:\[\[nodiscard\]\]\s*)?(?:static\s+|inline\s+|virtual\s+)*"
    r"[A-Za-z_:<>,\s*&]+?\s([a-z][A-Za-z0-9_]*)\(")


def opening_comment(lines):
    """The paragraphs of the comment at the top of a header, after #pragma once."""
    text, started = [], False
    for line in lines:
        stripped = line.strip()
        if stripped.startswith("#pragma") or (not started and not stripped):
            continue
        if stripped.startswith("//"):
            started = True
            text.append(stripped[2:].strip())
        elif started or stripped:
            break
    paragraphs, current = [], []
    for line in text:
        if line:
            current.append(line)
        elif current:
            paragraphs.append(" ".join(current))
            current = []
    if current:
        paragraphs.append(" ".join(current))
    return paragraphs


def declarations(lines):
    rows = []
    for number, line in enumerate(lines, 1):
        match = DECLARATION.match(line)
        if match and not line.strip().startswith(("//", "return", "#")):
            name = match.group(1) or match.group(2)
            kind = line.strip().split()[0].replace("[[nodiscard]]", "function")
            if kind not in ("class", "struct", "enum", "using"):
                kind = "function"
            rows.append((name, kind, number))
    return rows[:12]


def code_excerpt(lines):
    body = [line.rstrip() for line in lines
            if not line.startswith("#") and line.strip() != "" and not line.strip().startswith("//")]
    return "\n".join(body[:40])


def main():
    out = []
    readme = (ROOT / "README.md").read_text(encoding="utf-8")
    out.append("# The Mossbarrow technical manual\n\n")
    out.append(readme.replace("\n# ", "\n## ") + "\n\n")
    formulas = [line.strip() for line in
                (ROOT / "tests/fixtures/math/formulas.txt").read_text(encoding="utf-8").splitlines()
                if line.strip() and "$" not in line]
    headers = [path for folder in FOLDERS for path in sorted((ROOT / folder).glob("*.hpp"))]
    chapter = 0
    size = lambda: sum(len(part.encode("utf-8")) for part in out)
    while size() < TARGET_BYTES and chapter < 10 * len(headers):
        path = headers[chapter % len(headers)]
        lines = path.read_text(encoding="utf-8").splitlines()
        relative = path.relative_to(ROOT).as_posix()
        chapter += 1
        out.append(f"## {chapter}. `{relative}`\n\n")
        for paragraph in opening_comment(lines) or ["This header has no opening comment."]:
            out.append(paragraph + "\n\n")
        rows = declarations(lines)
        if rows:
            out.append("| Name | Kind | Line |\n|:-----|:----:|-----:|\n")
            for name, kind, number in rows:
                out.append(f"| `{name}` | {kind} | {number} |\n")
            out.append("\n")
        formula = formulas[chapter % len(formulas)]
        following = formulas[(chapter + 1) % len(formulas)]
        out.append(f"The chapter's formula, ${following}$, is set inline; its display form:\n\n")
        out.append(f"$$\n{formula}\n$$\n\n")
        out.append("```cpp\n" + code_excerpt(lines) + "\n```\n\n")
        if chapter % 5 == 0:
            out.append("> Every chapter above is generated from the header it names; the\n"
                       "> declarations are excerpts, not the whole file.\n\n")
            out.append("- Layers, from the bottom:\n  1. platform\n  2. Vellum\n"
                       "  3. the application\n- Tests sit beside each layer.\n\n---\n\n")
    sys.stdout.write("".join(out))


if __name__ == "__main__":
    main()

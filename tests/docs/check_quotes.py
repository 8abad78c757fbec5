#!/usr/bin/env python3
"""Every text a document quotes as the program's is one the program prints.

    check_quotes.py SOURCE_DIR

What stands for a program text (docs/testing.md, "Quoted texts", says the same):
  - every text between "...", “...” or «...», and every bold text (**...**), outside code spans and code
    blocks, in README.md, docs/*.md,
    docs/manual/*.md and packaging/windows/README.txt, except the other programs' words listed in
    tests/docs/other-texts.txt (Windows' dialogs, JSON keys);
  - every cell of a table column headed English, Russian or Text;
  - in a ```console block, every output line (not a "$ " command, a number or a line of JSON) and the
    value of each JSON "text" or "verdict_text".
The program's texts are the string literals of its C++ sources (comments left out) and the lines the test command's
scripts print (scripts/, tests/win32/wine.sh). In a quoted text, ROOT, FILE and the other placeholder words below, "...", drive roots, paths and
numbers (and a process with its id) stand for what the program fills in. Each piece between them that has a
letter must occur within one literal; where no literal holds it whole, the line joins texts after ":", ";" or
a full stop: each of those parts must then begin a text (but the first) and end one (but the last).
"""
import pathlib
import re
import sys

PLACEHOLDER_WORDS = ("ROOT", "FILE", "NAME", "DEVICE", "REASON", "N", "PATH", "FOLDER", "VERDICT",
                     "КОРЕНЬ", "ФАЙЛ", "ИМЯ", "УСТРОЙСТВО", "ПРИЧИНА", "ПАПКА", "ПУТЬ", "ИТОГ")
PLACEHOLDER = re.compile(
    r"\.\.\.|…|\{\w+\}|(?<![\w/])(?:" + "|".join(PLACEHOLDER_WORDS) + r")(?!\w)"
    r"|\b[A-Z]:\\|(?<![\w.])/[\w./\-]*|\b\w+\.bin\b|\b[a-z]+ \(\d+\)|\bP\d+\b|(?<![\w.])\d+(?:[.,]\d+)*(?![\w])")
PROGRAM_DIRS = ("common", "platform", "images", "card", "station", "ui", "main")
DOCUMENTS = ("README.md", "docs/*.md", "docs/manual/*.md", "packaging/windows/README.txt")


def literals(cpp):
    """The string literals of a C++ source, adjacent ones joined, escapes resolved; comments skipped."""
    out, i, n, joined, last_end = [], 0, len(cpp), None, -1
    while i < n:
        c = cpp[i]
        if cpp.startswith("//", i):
            i = cpp.find("\n", i)
            i = n if i < 0 else i
        elif cpp.startswith("/*", i):
            i = cpp.find("*/", i + 2) + 2 or n
        elif c == "'":
            j = i + 1
            while j < n and cpp[j] != "'":
                j += 2 if cpp[j] == "\\" else 1
            i = j + 1
        elif c == '"' or (c == "R" and cpp.startswith('R"', i) and not (cpp[i - 1].isalnum() or cpp[i - 1] == "_")):
            if c == "R":
                open_at = cpp.index("(", i)
                delimiter = ")" + cpp[i + 2:open_at] + '"'
                close_at = cpp.index(delimiter, open_at)
                text, i = cpp[open_at + 1:close_at], close_at + len(delimiter)
            else:
                j, text = i + 1, []
                while cpp[j] != '"':
                    if cpp[j] == "\\":
                        e = cpp[j + 1]
                        text.append({"n": "\n", "r": "\r", "t": "\t", "a": "\a"}.get(e, e))
                        j += 2
                    else:
                        text.append(cpp[j])
                        j += 1
                text, i = "".join(text), j + 1
            between = cpp[last_end:i - len(text) - 2] if joined is not None else "x"
            if joined is not None and between.strip() == "":
                out[-1] += text
            else:
                out.append(text)
            joined, last_end = True, i
            continue
        else:
            i += 1
            if not c.isspace():
                joined = None
            continue
        joined = None
    return out


def program_texts(source):
    texts = []
    for folder in PROGRAM_DIRS:
        for path in sorted((source / folder).rglob("*")):
            if path.suffix in (".cpp", ".h", ".in"):
                texts += literals(path.read_text(encoding="utf-8"))
    for path in sorted(source.glob("scripts/*.sh")) + [source / "tests/win32/wine.sh"]:
        # What the scripts say themselves: their echo and printf lines, not the texts they expect.
        texts += [line for line in path.read_text(encoding="utf-8").splitlines()
                  if re.match(r"\s*(echo|printf|skip|say|fail)\b", line)]
    return texts


STRIP = " \t\n;:,.'\"()«»—-"


def has_letter(piece):
    return any(ch.isalpha() for ch in piece)


def missing_pieces(quote, texts):
    """The pieces of a quoted text that no program text holds. A piece is what stands between two
    placeholders, without the blanks and punctuation at its ends; one that no literal holds whole may be
    joined from several after ":", ";" or a full stop, and then each of its parts must be found."""
    missing = []
    for piece in PLACEHOLDER.split(quote):
        piece = re.sub(r"\s+", " ", piece).strip(STRIP)
        if not has_letter(piece) or any(piece in text for text in texts):
            continue
        parts = [part.strip(STRIP) for part in re.split(r"(?<=[:;.!?]) ", piece)]
        for i, part in enumerate(parts):
            # A part the line joins to the one before begins a text; one it joins to the next ends a text.
            if has_letter(part) and not any(
                    (i == 0 or segment.startswith(part)) and (i == len(parts) - 1 or segment.endswith(part))
                    and part in segment for segment in segments(texts)):
                missing.append(part)
    return missing


_segments = None


def segments(texts):
    """The program's texts cut at their own placeholders ("{}", "%d"), without the blanks and punctuation at
    their ends: where a line may join another text."""
    global _segments
    if _segments is None:
        _segments = [seg.strip(STRIP) for text in texts for seg in re.split(r"\{\d?\}|%[a-z]", text)]
    return _segments


def quotes(document):
    """(line, text) of each text the document quotes as the program's."""
    found, lines = [], document.split("\n")
    prose = []  # the document with code blocks blanked, line for line
    in_block, console = False, False
    for number, line in enumerate(lines, 1):
        if line.lstrip().startswith("```"):
            in_block, console = not in_block, line.strip() == "```console"
            prose.append("")
            continue
        if in_block:
            prose.append("")
            if console:
                for value in re.findall(r'"(?:text|verdict_text)": "((?:[^"\\]|\\.)*)"', line):
                    found.append((number, value))
                out = line.strip()
                if out and not out.startswith(("$", "{", "}", "[", "]", '"')) and not out.isdigit():
                    found.append((number, out.removeprefix("^C").removeprefix("scaleboot-cli: ")))
            continue
        prose.append(re.sub(r"`[^`]*`", lambda m: " " * len(m.group()), line))
    # Tables: the cells of the columns named English, Russian or Text.
    columns = None
    for number, line in enumerate(prose, 1):
        if not line.startswith("|"):
            columns = None
            continue
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if columns is None:
            columns = [i for i, c in enumerate(cells) if c in ("English", "Russian", "Text")]
        elif not all(set(c) <= set("-: ") for c in cells):
            found += [(number, cells[i]) for i in columns if i < len(cells)]
    text = "\n".join(prose)
    for match in re.finditer(r'"([^"\n]*(?:\n[^"\n]+)?)"|«([^»]*)»|“([^”]*)”|\*\*([^*]+)\*\*', text):
        quote = next((group for group in match.groups() if group is not None), "")
        found.append((text.count("\n", 0, match.start()) + 1, quote.strip("“”«»")))
    return found


def main():
    source = pathlib.Path(sys.argv[1])
    texts = [re.sub(r"\s+", " ", text) for text in program_texts(source)]
    others = {line.strip() for line in (source / "tests/docs/other-texts.txt").read_text(encoding="utf-8")
              .splitlines() if line.strip() and not line.startswith("#")}
    failures, checked = [], 0
    for pattern in DOCUMENTS:
        for path in sorted(source.glob(pattern)):
            for number, quote in quotes(path.read_text(encoding="utf-8")):
                quote = re.sub(r"\s+", " ", quote).strip()
                if quote in others:
                    continue
                checked += 1
                missing = missing_pieces(quote, texts)
                if missing:
                    failures.append(f"{path.relative_to(source)}:{number}: the program never prints: {quote}"
                                    f" (not found: {' / '.join(missing)})")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{checked} quoted texts checked, {len(failures)} not the program's")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())

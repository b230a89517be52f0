#!/usr/bin/env python3
"""Fails when an include runs against the layers' arrows.

The arrows: app and cli may use jobs, link and storage; jobs (the set-up
file jobs both front ends run) uses link and storage; link uses serial, which
uses base; storage and emu use base only. Includes name a header by its library's
folder ("link/uComIo.h") or by the including file's own folder, never
through "../", and nothing below app/ sees a Qt header.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)

# Folder -> the library folders its includes may name (its own always).
ALLOWED = {
    "base": set(),
    "serial": {"base"},
    "link": {"serial", "base"},
    "storage": {"base"},
    "jobs": {"link", "storage", "serial", "base"},
    "emu": {"base"},
    "cli": {"jobs", "link", "storage", "serial", "base"},
    "app": {"jobs", "link", "storage", "serial", "base"},
}
LIBRARIES = set(ALLOWED)
WITHOUT_QT = LIBRARIES - {"app"}
QT_HEADER = re.compile(r"^Q[A-Za-z]*(/|$)|^qt", re.IGNORECASE)
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def check(path: pathlib.Path, folder: str) -> list[str]:
    problems = []
    rel = path.relative_to(ROOT)
    for number, line in enumerate(path.read_text(encoding="latin-1").splitlines(), 1):
        m = INCLUDE.match(line)
        if not m:
            continue
        kind, name = m.groups()
        where = f"{rel}:{number}: {line.strip()}"
        if "../" in name or name.startswith(".."):
            problems.append(f"{where}: climbs out of its folder with '../'")
            continue
        if folder in WITHOUT_QT and kind == "<" and QT_HEADER.match(name):
            problems.append(f"{where}: Qt header below app/")
            continue
        if kind != '"' or "/" not in name:
            continue
        top = name.split("/", 1)[0]
        if top in LIBRARIES and folder in ALLOWED and top != folder and top not in ALLOWED[folder]:
            problems.append(f"{where}: {folder}/ must not use {top}/")
    return problems


def main() -> int:
    problems = []
    for path in sorted(ROOT.rglob("*")):
        if path.suffix not in (".h", ".cpp") or not path.is_file():
            continue
        parts = path.relative_to(ROOT).parts
        if parts[0].startswith("build") or parts[0] in (".git",) or "corpus" in parts:
            continue
        problems += check(path, parts[0])
    for p in problems:
        print(p)
    if problems:
        print(f"{len(problems)} include(s) against the layers' arrows", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())

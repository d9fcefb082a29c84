#!/usr/bin/python3
"""Every page of the compiled help file is reachable from its contents, and no link
of the contents or of a page points at something the help file lacks.

The .chm's directory (its list of stored files) is read from the file itself; the
links are read from our sources, which chmcmd stores unchanged."""
import os
import re
import struct
import sys

HELP_SOURCES = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources", "help")


def encint(data, pos):
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, pos


def chm_names(path):
    """The names stored in a .chm, read from its directory chunks (PMGL)."""
    with open(path, "rb") as f:
        data = f.read()
    assert data[:4] == b"ITSF", "not a compiled help file"
    directory_offset = struct.unpack_from("<Q", data, 0x48)[0]
    assert data[directory_offset:directory_offset + 4] == b"ITSP"
    header_length, = struct.unpack_from("<I", data, directory_offset + 8)
    chunk_size, = struct.unpack_from("<I", data, directory_offset + 0x10)
    chunk_count, = struct.unpack_from("<I", data, directory_offset + 0x2C)
    names = set()
    for n in range(chunk_count):
        chunk = data[directory_offset + header_length + n * chunk_size:][:chunk_size]
        if chunk[:4] != b"PMGL":
            continue
        free, = struct.unpack_from("<I", chunk, 4)
        pos, end = 20, chunk_size - free
        while pos < end:
            length, pos = encint(chunk, pos)
            names.add(chunk[pos:pos + length].decode("utf-8"))
            pos += length
            for _ in range(3):  # section, offset, length
                _, pos = encint(chunk, pos)
    return names


def links(text):
    """Local targets of href, src and the contents' Local parameters, without anchors."""
    found = re.findall(r'(?:href|src)\s*=\s*"([^"]+)"', text, re.I)
    found += re.findall(r'<param\s+name="Local"\s+value="([^"]+)"', text, re.I)
    return [t.split("#")[0] for t in found if t.split("#")[0] and not re.match(r"^[a-z]+:", t, re.I)]


def check(chm, sources):
    stored = {name.lstrip("/").lower() for name in chm_names(chm) if not name.startswith("/#")
              and not name.startswith("::")}
    pages = {name for name in stored if name.endswith(".html") or name.endswith(".htm")}
    assert pages, "the help file holds no pages"
    problems = []
    with open(os.path.join(sources, "kestrel.hhc"), encoding="utf-8") as f:
        queue = links(f.read())
    if not queue:
        problems.append("the contents list no page")
    reached = set()
    while queue:
        target = queue.pop().lower()
        if target in reached:
            continue
        reached.add(target)
        if target not in stored:
            problems.append("broken link to " + target)
            continue
        if target.endswith(".html"):
            with open(os.path.join(sources, target), encoding="utf-8") as f:
                queue += links(f.read())
    for page in sorted(pages - reached):
        problems.append("page not reachable from the contents: " + page)
    return problems


def main():
    build_dir = sys.argv[1]
    problems = check(os.path.join(build_dir, "kestrel.chm"), HELP_SOURCES)
    for p in problems:
        print("FAIL", p)
    print("%d problems" % len(problems))
    sys.exit(1 if problems else 0)


if __name__ == "__main__":
    main()

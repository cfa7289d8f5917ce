#!/usr/bin/env python3
"""Makes and checks translations of uninstall.exe ("uninstall.lng").

  lng.py template PROGRAM [-c CODEPAGE] [-o OUT]   every text the program looks up
  lng.py check PROGRAM FILE                        one line per fault, exit code 1

The texts are read from the program's own resources: the dialogs "SETUPDLG",
"CONTEXTITEMS" and "DONEDLG" and the string table.  A key is the CRC-32 of a
seed byte ("$" for dialog texts, "s" for messages), the dialog name and the
source text as the program holds it, that is in the system's ANSI code page:
a translation only works on systems with the code page it was made for, which
the file names in its "; codepage: N" line.
"""
import argparse
import re
import struct
import sys
import zlib

DIALOGS = ("SETUPDLG", "CONTEXTITEMS", "DONEDLG")
RT_DIALOG, RT_STRING = 5, 6
DEFAULT_CODEPAGE = 936
MARKER = b"***messages**"  # two asterisks and the first 11 bytes of "*messages***"
MARKER_LIMIT = 16 * (8192 - 16)  # the last file offset where the marker is found
SECTION_LIMIT = 65536
LAST_LINE_LIMIT = 255  # bytes read from a last line that has no line end
# Longest translation that fits the buffer it is copied into.
MESSAGE_LIMIT, WINDOW_LIMIT, SCALE_LIMIT = 255, 1023, 511
ESCAPES = {b'"': b'\\"', b"\\": b"\\\\", b"\n": b"\\n", b"\r": b"\\r", b"\t": b"\\t"}
UNESCAPES = {ord('"'): b'"', ord("\\"): b"\\", ord("n"): b"\n", ord("r"): b"\r", ord("t"): b"\t"}
CODEPAGE_LINE = re.compile(rb"^; *codepage: *(\d+)", re.M)


class LngError(Exception):
    pass


# --- PE resources -----------------------------------------------------------

def read_resources(path):
    """{(type, name): data} of the first language of each resource."""
    with open(path, "rb") as f:
        image = f.read()
    try:
        if image[:2] != b"MZ":
            raise LngError(f"{path}: not a program file")
        pe = struct.unpack_from("<I", image, 0x3C)[0]
        if image[pe:pe + 4] != b"PE\0\0":
            raise LngError(f"{path}: no PE header")
        sections, optional_size = struct.unpack_from("<2xH12xH", image, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", image, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        rsrc_rva, rsrc_size = struct.unpack_from("<II", image, directories + 2 * 8)
        if not rsrc_size:
            raise LngError(f"{path}: no resources")
        table = optional + optional_size
        spans = []
        for i in range(sections):
            size, rva, raw_size, raw = struct.unpack_from("<8xIIII", image, table + 40 * i)
            spans.append((rva, max(size, raw_size), raw))

        def offset(rva):
            for start, size, raw in spans:
                if start <= rva < start + size:
                    return raw + rva - start
            raise LngError(f"{path}: resource address {rva:#x} lies in no section")

        base = offset(rsrc_rva)

        def entries(directory):
            named, numbered = struct.unpack_from("<12xHH", image, base + directory)
            for i in range(named + numbered):
                name, target = struct.unpack_from("<II", image, base + directory + 16 + 8 * i)
                if name & 0x80000000:
                    at = base + (name & 0x7FFFFFFF)
                    length = struct.unpack_from("<H", image, at)[0]
                    name = image[at + 2:at + 2 + 2 * length].decode("utf-16-le")
                yield name, target

        resources = {}
        for type_id, types in entries(0):
            for name, names in entries(types & 0x7FFFFFFF):
                for _lang, leaf in entries(names & 0x7FFFFFFF):
                    data_rva, size = struct.unpack_from("<II", image, base + leaf)
                    at = offset(data_rva)
                    resources.setdefault((type_id, name), image[at:at + size])
                    break
        return resources
    except struct.error:
        raise LngError(f"{path}: damaged program file")


def read_sz_or_ord(data, at):
    """(text or ordinal or None, offset after it) of a dialog template field."""
    first = struct.unpack_from("<H", data, at)[0]
    if first == 0:
        return None, at + 2
    if first == 0xFFFF:
        return struct.unpack_from("<H", data, at + 2)[0], at + 4
    end = at
    while struct.unpack_from("<H", data, end)[0]:
        end += 2
    return data[at:end].decode("utf-16-le", "surrogatepass"), end + 2


def parse_dialog(data):
    """(caption, [(control id, class, text)]) of a DIALOG or DIALOGEX template."""
    extended = struct.unpack_from("<HH", data, 0) == (1, 0xFFFF)
    if extended:
        _help, _exstyle, style, count = struct.unpack_from("<IIIH", data, 4)
        at = 26
    else:
        style, _exstyle, count = struct.unpack_from("<IIH", data, 0)
        at = 18
    _menu, at = read_sz_or_ord(data, at)
    _class, at = read_sz_or_ord(data, at)
    caption, at = read_sz_or_ord(data, at)
    if style & 0x48:  # DS_SETFONT, DS_SHELLFONT
        at += 6 if extended else 2
        _font, at = read_sz_or_ord(data, at)
    controls = []
    for _ in range(count):
        at = (at + 3) & ~3
        if extended:
            control_id = struct.unpack_from("<i", data, at + 20)[0]
            at += 24
        else:
            control_id = struct.unpack_from("<h", data, at + 16)[0]
            at += 18
        window_class, at = read_sz_or_ord(data, at)
        text, at = read_sz_or_ord(data, at)
        # creation data: DIALOGEX counts the bytes after its size word,
        # DIALOG counts the size word too
        extra = struct.unpack_from("<H", data, at)[0]
        at += 2 + extra if extended else max(extra, 2)
        controls.append((control_id, window_class, text))
    return caption if isinstance(caption, str) else "", controls


def read_strings(resources):
    strings = {}
    for (type_id, block), data in resources.items():
        if type_id != RT_STRING or not isinstance(block, int):
            continue
        at = 0
        for index in range(16):
            length = struct.unpack_from("<H", data, at)[0]
            if length:
                strings[(block - 1) * 16 + index] = data[at + 2:at + 2 + 2 * length].decode(
                    "utf-16-le", "surrogatepass")
            at += 2 + 2 * length
    return dict(sorted(strings.items()))


# --- keys -------------------------------------------------------------------

class Entry:
    """One text the program looks up, with every source that gives its key."""

    def __init__(self, kind, key, source, limit):
        self.kind = kind  # "message", "window", "scale" or "direction"
        self.key = key
        self.source = source  # bytes as the program holds them
        self.limit = limit
        self.origins = []

    def shared(self):
        """The distinct texts that read alike here: more than one means no
        translation can be right for all of them."""
        texts = []
        for _origin, text in self.origins:
            if text not in texts:
                texts.append(text)
        return texts

    def sharing(self):
        return "; ".join(f'{origin} "{text}"' for origin, text in self.origins)


def make_key(seed, context, text):
    return "%08x" % zlib.crc32(seed + context + text)


def ansi(text, codepage, limit):
    # As the A functions convert: "?" for what the code page cannot hold,
    # cut to the caller's buffer.
    return text.encode(codec(codepage), "replace")[:limit]


def codec(codepage):
    name = "cp%d" % codepage
    try:
        "".encode(name)
    except LookupError:
        raise LngError(f"unknown code page {codepage}")
    return name


def program_entries(path, codepage):
    """Every entry the program asks for, in file order, keyed by key."""
    resources = read_resources(path)
    entries = {}

    def add(kind, seed, context, text, limit, origin):
        source = ansi(text, codepage, WINDOW_LIMIT if kind != "message" else MESSAGE_LIMIT)
        key = make_key(seed, context, source)
        entry = entries.setdefault(key, Entry(kind, key, source, limit))
        entry.origins.append((origin, text))

    for name in DIALOGS:
        data = resources.get((RT_DIALOG, name))
        if data is None:
            raise LngError(f"{path}: no dialog {name}")
        caption, controls = parse_dialog(data)
        context = name.encode("ascii")
        add("scale", b"$", context, "", SCALE_LIMIT, f"{name} scale")
        if caption:
            add("window", b"$", context, caption, WINDOW_LIMIT, f"{name} caption")
        for control_id, _class, text in controls:
            if isinstance(text, str) and text:
                add("window", b"$", context, text, WINDOW_LIMIT, f"{name} {control_id}")
    strings = read_strings(resources)
    if not strings:
        raise LngError(f"{path}: no string table")
    for number, text in strings.items():
        add("message", b"s", b"", text, MESSAGE_LIMIT, f"message {number}")
    add("direction", b"$", b"LTR", "LTR", WINDOW_LIMIT, "direction")
    return entries


def escape(data):
    return b"".join(ESCAPES.get(data[i:i + 1], data[i:i + 1]) for i in range(len(data)))


def unescape(data):
    """The loader's byte-wise escapes, which know nothing of double-byte characters."""
    out, i = bytearray(), 0
    while i < len(data):
        if data[i] == 0x5C and i + 1 < len(data) and data[i + 1] in UNESCAPES:
            out += UNESCAPES[data[i + 1]]
            i += 2
        else:
            out.append(data[i])
            i += 1
    return bytes(out)


# --- template ---------------------------------------------------------------

HEADER = """\
; Translation of uninstall.exe.  Replace the text between the quotes of each
; entry and keep its key; an entry left out keeps the program's own text.
; Escapes: \\" \\\\ \\n \\r \\t.  Messages keep their %s.  A scale entry ("width*height"
; in percent, e.g. "120*110") enlarges or shrinks its dialog; "RTL" as the
; direction lays every dialog out right to left.
; The keys hold on systems whose ANSI code page is the one named above; check
; the file with "lng.py check uninstall.exe uninstall.lng".
"""


def template(path, codepage):
    lines = [b"***messages***", b"; codepage: %d" % codepage]
    lines += HEADER.encode("ascii").splitlines()
    for entry in program_entries(path, codepage).values():
        lines.append(b"")
        for origin, text in entry.origins:
            shown = escape(ansi(text, codepage, len(text) * 4))
            lines.append((b"; source (" + origin.encode("ascii") + b"): " + shown).rstrip())
        if len(entry.shared()) > 1:
            lines.append(b"; ERROR: these texts read alike in code page %d and share this key: "
                         b"no translation can be right for all of them" % codepage)
            print(f"lng.py: error: {entry.sharing()} read alike in code page {codepage} and "
                  "share one key", file=sys.stderr)
        lines.append(entry.key.encode("ascii") + b'="' + escape(entry.source) + b'"')
    return b"\r\n".join(lines) + b"\r\n"


# --- check ------------------------------------------------------------------

def find_marker(data):
    at = data.find(MARKER)
    return at if 0 <= at <= MARKER_LIMIT else -1


ENTRY_LINE = re.compile(rb'^([0-9A-Fa-f]{8})="')
LOOKS_LIKE_ENTRY = re.compile(rb"^\s*[0-9A-Fa-f]{6,10}\s*=")
SCALE_TEXT = re.compile(rb"^(\d+)\*(\d+)$")
FORMAT_SEQUENCE = re.compile(rb"%(.?)", re.S)


def format_faults(text, source):
    faults = []
    count, wanted = (sum(1 for m in FORMAT_SEQUENCE.finditer(t) if m.group(1) == b"s")
                     for t in (text, source))
    if count != wanted:
        faults.append(f"holds %s {count} times where its source holds it {wanted} times")
    if b"%" in source:
        for match in FORMAT_SEQUENCE.finditer(text):
            if match.group(1) not in (b"s", b"%"):
                faults.append(f"'%{match.group(1).decode('latin-1')}' is not a conversion "
                              "the program accepts (only %s and %%)")
                break
    return faults


def text_faults(entry, text, codepage):
    faults = []
    if len(text) > entry.limit:
        faults.append(f"text of {len(text)} bytes does not fit (at most {entry.limit})")
    try:
        text.decode(codec(codepage), "strict")
    except UnicodeDecodeError as error:
        faults.append(f"byte {text[error.start]:#04x} at {error.start} is not valid "
                      f"in code page {codepage}")
    if entry.kind == "message":
        faults += format_faults(text, entry.source)
    elif entry.kind == "scale" and text and not SCALE_TEXT.match(text):
        faults.append("a scale is empty or two percentages joined by an asterisk (120*110)")
    elif entry.kind == "direction" and text not in (b"LTR", b"RTL"):
        faults.append('the direction is "LTR" or "RTL"')
    return faults


def check(path, lng_path):
    with open(lng_path, "rb") as f:
        data = f.read()
    found = CODEPAGE_LINE.search(data)
    codepage = int(found.group(1)) if found else DEFAULT_CODEPAGE
    entries = program_entries(path, codepage)
    faults = []

    def fault(line_number, message):
        faults.append(f"{lng_path}:{line_number}: {message}")

    # a fault of the code page, whatever the file says
    for entry in entries.values():
        if len(entry.shared()) > 1:
            faults.append(f"{lng_path}: {entry.key}: {entry.sharing()} read alike in code page "
                          f"{codepage} and share this key; no translation can be right for all")
    marker = find_marker(data)
    if marker < 0:
        fault(1, "no messages marker line (***messages***) within the first 130,816 bytes")
        return faults
    section_end = marker + SECTION_LIMIT
    nul = data.find(b"\0", marker)
    seen = {}
    number = 0
    for match in re.finditer(rb"([^\r\n]*)(\r\n|\r|\n)?", data):
        raw, has_line_end = match.group(1), match.group(2) is not None
        number += 1
        start = match.start()
        if start < marker or (not raw and not has_line_end):
            continue
        if start == marker or not raw.strip() or raw.startswith(b";"):
            continue
        match = ENTRY_LINE.match(raw)
        if not match:
            if LOOKS_LIKE_ENTRY.match(raw):
                fault(number, 'not an entry: write 8 hexadecimal digits, "=" and the quoted text')
            continue
        key = match.group(1).decode("ascii")
        if start + len(raw) > section_end:
            fault(number, f"{key}: lies beyond the {SECTION_LIMIT:,} bytes after the marker "
                  "that the program reads")
            continue
        if 0 <= nul < start + len(raw):
            fault(number, f"{key}: a NUL byte before it (offset {nul}) ends the section")
            continue
        if key != key.lower():
            fault(number, f"{key}: uppercase key, never matched (the program asks for "
                  f"{key.lower()})")
            continue
        entry = entries.get(key)
        if entry is None:
            fault(number, f"{key}: the program never asks for this key")
            continue
        if key in seen:
            fault(number, f"{key}: also given in line {seen[key]}; only one of them is used")
        seen.setdefault(key, number)
        body = unescape(raw[10:])
        # the program ends the text at the last quote, so a note may follow it
        if b'"' not in body:
            fault(number, f"{key}: no closing quote")
            continue
        text = body[:body.rindex(b'"')]
        if not has_line_end and len(body) > LAST_LINE_LIMIT:
            fault(number, f"{key}: the last line needs a line end, or only "
                  f"{LAST_LINE_LIMIT} bytes of it are read")
        for message in text_faults(entry, text, codepage):
            fault(number, f"{key}: {message}")
    return faults


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    commands = parser.add_subparsers(dest="command", required=True)
    make = commands.add_parser("template", help="write a complete uninstall.lng to translate")
    make.add_argument("program")
    make.add_argument("-c", "--codepage", type=int, default=DEFAULT_CODEPAGE,
                      help=f"ANSI code page of the systems it is for (default {DEFAULT_CODEPAGE})")
    make.add_argument("-o", "--output", default="uninstall.lng", help="'-' for standard output")
    test = commands.add_parser("check", help="report the faults of a translation")
    test.add_argument("program")
    test.add_argument("file")
    args = parser.parse_args(argv)
    try:
        if args.command == "template":
            text = template(args.program, args.codepage)
            if args.output == "-":
                sys.stdout.buffer.write(text)
            else:
                with open(args.output, "wb") as f:
                    f.write(text)
            return 0
        faults = check(args.program, args.file)
    except (LngError, OSError) as error:
        print(f"lng.py: {error}", file=sys.stderr)
        return 2
    for line in faults:
        print(line)
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))

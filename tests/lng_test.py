#!/usr/bin/env python3
"""scripts/lng.py against the built program, and the English translations.
  lng_test.py UNINSTALL_EXE KEXLNG_DLL"""
import os
import re
import struct
import subprocess
import sys
import tempfile

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "scripts"))
import lng  # noqa: E402

program, library = sys.argv[1:3]
failures = []


def expect(condition, what):
    if not condition:
        failures.append(what)


def run(*args):
    result = subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "lng.py"), *args],
                            capture_output=True)
    return result.returncode, result.stdout.decode("utf-8", "replace").splitlines()


def keyed(text):
    return dict(re.findall(rb'^([0-9a-f]{8})="(.*)"\r?$', text, re.M))


work = tempfile.mkdtemp()
templates = {}
for codepage in (936, 1252):
    path = os.path.join(work, f"{codepage}.lng")
    code, _ = run("template", program, "-c", str(codepage), "-o", path)
    templates[codepage] = open(path, "rb").read()
    # 1252 holds none of the Chinese sources: see colliding_keys_are_errors
    expect(code == 0 and (codepage != 936 or run("check", program, path) == (0, [])),
           f"template {codepage} checks")
# The English file, for the code page 936 the program is made for (Western
# systems take the English language library).
english_paths = {936: os.path.join(ROOT, "lang", "en", "uninstall.lng")}
for codepage, english_path in english_paths.items():
    code, lines = run("check", program, english_path)
    expect(code == 0 and not lines, f"English translation {codepage} checks: {lines}")
    # every text the template offers is translated
    english = keyed(open(english_path, "rb").read())
    expect(english.keys() == keyed(templates[codepage]).keys(), f"English file {codepage} has every key")
    expect(not [t for t in english.values() if b"??" in t or re.search(rb"[\x80-\xff]", t)],
           f"English file {codepage} leaves no text untranslated")

# Worked keys of the direction and the setup dialog's scale.
source = keyed(templates[936])
expect(source.get(b"50a17ae8") == b"LTR" and source.get(b"9b889d24") == b"",
       "direction and SETUPDLG scale keys")

# One line per kind of fault, by line number; the exact fits pass.
entries = lng.program_entries(program, 936)
key = {origin: e.key for e in entries.values() for origin, _ in e.origins}
cases = [  # (entry line, fault expected)
    (b'deadbeef="x"', True),
    (key["direction"].upper().encode() + b'="RTL"', True),
    (key["message 5104"].encode() + b'="Uninstall', True),
    (key["message 5106"].encode() + b'="Delete it by hand"', True),
    (key["message 5108"].encode() + b'="%s: %x"', True),
    (key["message 5101"].encode() + b'="' + b"a" * 256 + b'"', True),
    (key["message 5113"].encode() + b'="' + b"a" * 254 + b'\\\\"', False),
    (key["SETUPDLG caption"].encode() + b'="' + b"b" * 1024 + b'"', True),
    (key["DONEDLG caption"].encode() + b'="' + b"b" * 1023 + b'"', False),
    (key["DONEDLG 1"].encode() + b'="\x81 "', True),
    (key["DONEDLG 1"].encode() + b'="Finish"', True),  # given twice
    (key["SETUPDLG scale"].encode() + b'="120x110"', True),
    (key["DONEDLG scale"].encode() + b'="120*110"', False),
    (key["message 5107"].encode() + b' = "Sure?"', True),
    (b";" * lng.SECTION_LIMIT, False),
    (key["message 5102"].encode() + b'="Help"', True),  # beyond the section
]
broken = os.path.join(work, "broken.lng")
with open(broken, "wb") as f:
    f.write(b"***messages***\r\n" + b"\r\n".join(line for line, _ in cases) + b"\r\n")
code, lines = run("check", program, broken)
reported = {int(re.match(r".*?:(\d+):", line).group(1)) for line in lines}
wanted = {number for number, (_, faulty) in enumerate(cases, 2) if faulty}
expect(code == 1 and reported == wanted and len(lines) == len(wanted),
       f"faults reported on lines {sorted(reported)}, wanted {sorted(wanted)}: {lines}")
for name, text in (("nomarker", b'**messages***\r\n'), ("nul", b"***messages***\r\n\0\r\n"
                   + key["message 5104"].encode() + b'="x"\r\n'),
                   ("lastline", b"***messages***\r\n" + key["DONEDLG 1"].encode()
                   + b'="' + b"c" * 300 + b'"')):
    path = os.path.join(work, name + ".lng")
    open(path, "wb").write(text)
    expect(run("check", program, path)[0] == 1, f"{name} is a fault")

# The library carries the program's dialogs with the same controls, its
# string ids and its icon.
own, other = lng.read_resources(program), lng.read_resources(library)
for name in lng.DIALOGS:
    ids = [[c[:2] for c in lng.parse_dialog(r[(lng.RT_DIALOG, name)])[1]] for r in (own, other)]
    expect(ids[0] == ids[1], f"{name} controls in kexlng.dll")
expect(lng.read_strings(own).keys() == lng.read_strings(other).keys(), "string ids in kexlng.dll")
expect((14, "KEXICON") in other, "KEXICON in kexlng.dll")



def colliding_keys_are_errors():
    """Texts that read alike in a code page share a key: check names both as
    an error, the template marks the key; a DIALOG template's creation data
    counts its own size word."""
    path = os.path.join(work, "western.lng")
    with open(path, "wb") as f:
        f.write(b"***messages***\r\n; codepage: 1252\r\n")
    code, lines = run("check", program, path)
    # on 1252 the help shortcut's name and the archive type read "Zobrix ????"
    shared = [line for line in lines if "message 5102" in line and "message 5109" in line]
    expect(code == 1 and len(shared) == 1 and "Zobrix 中文帮助" in shared[0] and "Zobrix 压缩文件" in shared[0],
           f"5102 and 5109 share a key on code page 1252: {lines}")
    expect(b"; ERROR:" in templates[1252] and b"; ERROR:" not in templates[936], "the 1252 template marks the key")
    # the program ends a text at its last quote: a note may follow
    noted = os.path.join(work, "noted.lng")
    zip_type = next(e.key for e in lng.program_entries(program, 936).values() if e.origins[0][0] == "message 5110")
    with open(noted, "wb") as f:
        f.write(b"***messages***\r\n" + zip_type.encode() + b'="ZIP archive" ; note\r\n')
    expect(run("check", program, noted) == (0, []), "a note after the closing quote")
    # DIALOG, no font, two buttons, the first with 4 bytes of creation data
    item = lambda control_id, data: (struct.pack("<IIhhhhH", 0, 0, 0, 0, 9, 9, control_id) +
                                     struct.pack("<HH", 0xFFFF, 0x80) + "OK\0".encode("utf-16-le") + data)
    first = item(1, struct.pack("<HH", 4, 0x1234))
    template = (struct.pack("<IIHhhhh", 0, 0, 2, 0, 0, 9, 9) + b"\0\0" * 3 + first
                + b"\0" * (-len(first) % 4) + item(2, b"\0\0"))
    expect([c[0] for c in lng.parse_dialog(template)[1]] == [1, 2], "DIALOG creation data")


colliding_keys_are_errors()
for failure in failures:
    print("FAILED:", failure)
print(f"lng_test: {len(failures)} failed")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""scripts/lng.py against the built program, and the English translations.
  lng_test.py UNINSTALL_EXE KEXLNG_DLL"""
import os
import re
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
# The English files: for the code page 936 the program is made for, and for
# 1252, where the Chinese sources of several controls read alike. That the
# running program finds their keys is the end-to-end tests' part.
for codepage in (936, 1252):
    english_path = os.path.join(ROOT, "lang", "en", *(["cp1252"] if codepage == 1252 else []), "uninstall.lng")
    code, lines = run("check", program, english_path)
    expect(code == 0 and not lines, f"English translation {codepage} checks: {lines}")
    english = keyed(open(english_path, "rb").read())
    expect(not [t for t in english.values() if b"??" in t or re.search(rb"[\x80-\xff]", t)],
           f"English file {codepage} leaves no text untranslated")

# Worked keys of the direction and the setup dialog's scale.
template = os.path.join(work, "936.lng")
expect(run("template", program, "-o", template)[0] == 0, "template written")
source = keyed(open(template, "rb").read())
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

for failure in failures:
    print("FAILED:", failure)
print(f"lng_test: {len(failures)} failed")
sys.exit(1 if failures else 0)

#!/usr/bin/env python3
"""What a silent setup wrote, read from outside, and the NSIS installer that
writes the same.

  setup_snapshot.py record BEFORE.reg AFTER.reg DRIVE_C FILES_BEFORE JOB.json
      The registry values that setup added, changed or removed (two exports
      of `regedit /E`, taken before and after), and the files it created under
      DRIVE_C (FILES_BEFORE lists the files that were there before, one Linux
      path a line): the shortcuts with their targets and descriptions, and
      every other file (the New-menu templates) with its bytes.
  setup_snapshot.py nsi JOB.json OUT.nsi
      An NSIS script that writes every value, makes every shortcut and writes
      every file of the job, nothing else.
  setup_snapshot.py reset JOB.json OUT.reg
      A file for `regedit /S` that puts the registry back as it was before.
  setup_snapshot.py clean JOB.json DRIVE_C
      Deletes the files and the folders that the job created.
  setup_snapshot.py same BEFORE.reg NOW.reg
      Exit 1, naming the differences, unless the counted values of the two
      exports are the same (the registry was put back as it was).
  setup_snapshot.py check JOB.json SNAPSHOT.reg DRIVE_C
      Exit 1, naming what is missing, unless every value of the job is there
      with its type and data, every removed value is gone, and every shortcut
      and file is there as recorded.

Only values below Software of HKEY_LOCAL_MACHINE and of the users' hives
count, Wine's own keys excepted: the rest of the registry changes with Wine's
devices and the desktop, whoever runs.
"""
import json
import os
import re
import struct
import sys


def read_reg(path):
    """{lower key: (key, {lower name: (name, type, data hex)})} of a regedit export."""
    with open(path, 'rb') as f:
        raw = f.read()
    text = raw.decode('utf-16') if raw[:2] in (b'\xff\xfe', b'\xfe\xff') else raw.decode('utf-8')
    lines = text.replace('\r\n', '\n').split('\n')
    keys = {}
    current = None
    pending = ''
    for line in lines:
        if pending:
            line = pending + line.lstrip()
            pending = ''
        if line.endswith('\\') and not line.startswith('['):
            pending = line[:-1]
            continue
        if line.startswith('[') and line.endswith(']'):
            name = line[1:-1]
            current = keys.setdefault(name.lower(), (name, {}))[1]
            continue
        if current is None or not line or line.startswith(';') or line.startswith('#'):
            continue
        value_name, rest = split_value(line)
        if value_name is None:
            continue
        current[value_name.lower()] = (value_name,) + parse_data(rest)
    return keys


def unescape(text):
    out = []
    i = 0
    while i < len(text):
        c = text[i]
        if c == '\\' and i + 1 < len(text):
            n = text[i + 1]
            out.append({'n': '\n', 'r': '\r', '0': '\0'}.get(n, n))
            i += 2
        else:
            out.append(c)
            i += 1
    return ''.join(out)


def split_value(line):
    if line.startswith('@='):
        return '', line[2:]
    if not line.startswith('"'):
        return None, None
    i = 1
    while i < len(line):
        if line[i] == '\\':
            i += 2
            continue
        if line[i] == '"':
            break
        i += 1
    if line[i + 1:i + 2] != '=':
        return None, None
    return unescape(line[1:i]), line[i + 2:]


def parse_data(rest):
    """(type, data as hex of the stored bytes)."""
    if rest.startswith('"') and rest.endswith('"'):
        return 1, (unescape(rest[1:-1]) + '\0').encode('utf-16-le').hex()
    if rest.startswith('dword:'):
        return 4, struct.pack('<I', int(rest[6:], 16)).hex()
    m = re.match(r'hex(?:\(([0-9a-fA-F]+)\))?:(.*)$', rest)
    if m:
        kind = int(m.group(1), 16) if m.group(1) else 3
        data = bytes(int(b, 16) for b in m.group(2).split(',') if b.strip())
        return kind, data.hex()
    return -1, rest


def counts(key):
    lower = key.lower()
    if lower.startswith('hkey_local_machine\\software\\'):
        return not lower.startswith('hkey_local_machine\\software\\wine')
    m = re.match(r'hkey_users\\[^\\]+\\software\\(.*)$', lower)
    return bool(m) and not m.group(1).startswith('wine')


def windows_root(key):
    """(NSIS root, subkey, regedit name) of an exported key."""
    m = re.match(r'HKEY_LOCAL_MACHINE\\Software\\Classes(?:\\(.*))?$', key, re.I)
    if m:
        return 'HKCR', m.group(1) or '', 'HKEY_CLASSES_ROOT' + ('\\' + m.group(1) if m.group(1) else '')
    m = re.match(r'HKEY_LOCAL_MACHINE\\(.*)$', key, re.I)
    if m:
        return 'HKLM', m.group(1), key
    m = re.match(r'HKEY_USERS\\[^\\]+\\(.*)$', key, re.I)
    if m:
        return 'HKCU', m.group(1), 'HKEY_CURRENT_USER\\' + m.group(1)
    raise ValueError('no root for ' + key)


def parse_link(path):
    """(target, description) of a shortcut file."""
    with open(path, 'rb') as f:
        data = f.read()
    flags = struct.unpack_from('<I', data, 20)[0]
    pos = 76
    if flags & 0x1:
        pos += 2 + struct.unpack_from('<H', data, pos)[0]
    target = ''
    if flags & 0x2:
        size, header, _, _, base = struct.unpack_from('<IIIII', data, pos)
        if base:
            end = data.index(b'\0', pos + base)
            target = data[pos + base:end].decode('mbcs' if os.name == 'nt' else 'latin-1')
        pos += size
    description = ''
    if flags & 0x4:
        count = struct.unpack_from('<H', data, pos)[0]
        pos += 2
        if flags & 0x80:
            description = data[pos:pos + 2 * count].decode('utf-16-le')
        else:
            description = data[pos:pos + count].decode('gbk')
    # Wine counts the terminator in
    return target, description.rstrip('\0')


def windows_path(linux_path, drive_c):
    rel = os.path.relpath(linux_path, drive_c)
    return 'C:\\' + rel.replace('/', '\\')


def record(before_reg, after_reg, drive_c, files_before_list, out):
    before, after = read_reg(before_reg), read_reg(after_reg)
    written, removed, created_keys = [], [], []
    for lower, (key, values) in sorted(after.items()):
        if not counts(key):
            continue
        old = before.get(lower, (key, {}))[1]
        if lower not in before:
            parent = lower.rsplit('\\', 1)[0]
            if parent in before or not counts(parent):
                created_keys.append(key)
        for vlower, (name, kind, data) in values.items():
            if old.get(vlower, (None, None, None))[1:] != (kind, data):
                written.append({'key': key, 'name': name, 'type': kind, 'data': data,
                                'old': list(old[vlower][1:]) if vlower in old else None})
        for vlower, (name, kind, data) in old.items():
            if vlower not in values:
                removed.append({'key': key, 'name': name, 'type': kind, 'data': data})
    for lower, (key, values) in sorted(before.items()):
        if counts(key) and lower not in after:
            raise SystemExit('setup_snapshot: setup deleted the key %s: not handled' % key)
    with open(files_before_list, encoding='utf-8') as f:
        existed = set(line.rstrip('\n') for line in f)
    links, files, folders = [], [], []
    for folder, dirs, names in os.walk(drive_c):
        for d in dirs:
            full = os.path.join(folder, d)
            if full not in existed:
                folders.append(windows_path(full, drive_c))
        for n in names:
            full = os.path.join(folder, n)
            if full in existed or full.endswith('.reg') or '/windows/' in full:
                continue
            if n.lower().endswith('.lnk'):
                target, description = parse_link(full)
                links.append({'path': windows_path(full, drive_c), 'target': target,
                              'description': description})
            else:
                with open(full, 'rb') as f:
                    files.append({'path': windows_path(full, drive_c), 'data': f.read().hex()})
    job = {'written': written, 'removed': removed, 'created_keys': created_keys,
           'links': links, 'files': files, 'folders': sorted(folders)}
    with open(out, 'w', encoding='utf-8') as f:
        json.dump(job, f, ensure_ascii=False, indent=1)
    print('%d values written, %d removed, %d shortcuts, %d other files'
          % (len(written), len(removed), len(links), len(files)))


def nsis_text(text):
    if '\0' in text:
        raise ValueError('a NUL inside a text')
    return '"' + text.replace('$', '$$').replace('"', '$\\"').replace('\r', '$\\r') \
        .replace('\n', '$\\n').replace('\t', '$\\t') + '"'


def nsi(job_path, out):
    with open(job_path, encoding='utf-8') as f:
        job = json.load(f)
    out_folder = os.path.dirname(os.path.abspath(out))
    lines = ['Unicode true', 'Name "Zobrix"', 'OutFile "setup-nsis.exe"',
             'RequestExecutionLevel admin', 'SilentInstall normal', 'ShowInstDetails nevershow',
             'Section']
    for v in job['written']:
        root, sub, _ = windows_root(v['key'])
        data = bytes.fromhex(v['data'])
        args = ' '.join([root, nsis_text(sub), nsis_text(v['name'])])
        if v['type'] == 1 and len(data) >= 2 and data[-2:] == b'\0\0':
            lines.append('  WriteRegStr %s %s' % (args, nsis_text(data[:-2].decode('utf-16-le'))))
        elif v['type'] == 4 and len(data) == 4:
            lines.append('  WriteRegDWORD %s %d' % (args, struct.unpack('<I', data)[0]))
        elif v['type'] == 0:
            lines.append('  WriteRegNone %s %s' % (args, data.hex()) if data else '  WriteRegNone %s' % args)
        elif v['type'] == 3:
            lines.append('  WriteRegBin %s %s' % (args, data.hex()))
        else:
            raise SystemExit('setup_snapshot: value type %d of %s is not handled' % (v['type'], v['key']))
    for n, f in enumerate(job['files']):
        local = os.path.join(out_folder, 'file%d.bin' % n)
        with open(local, 'wb') as w:
            w.write(bytes.fromhex(f['data']))
        folder, name = f['path'].rsplit('\\', 1)
        lines.append('  SetOutPath %s' % nsis_text(folder))
        lines.append('  File %s %s' % (nsis_text('/oname=' + name), nsis_text(local)))
    # the shell's own folders by name, as an installer script names them
    context = ['current']

    def named(path):
        wanted, text = shell_folder(path)
        if wanted != context[0]:
            lines.append('  SetShellVarContext ' + wanted)
            context[0] = wanted
        variable = re.match(r'\$[A-Z]+', text)
        if not variable:
            return nsis_text(text)
        return '"' + variable.group(0) + nsis_text(text[variable.end():])[1:]

    for folder in job['folders']:
        if any(l['path'].startswith(folder + '\\') for l in job['links']) and \
                not any(folder.startswith(other + '\\') for other in job['folders']):
            lines.append('  CreateDirectory ' + named(folder))
    for link in job['links']:
        lines.append('  CreateShortcut /NoWorkingDir %s %s "" "" "" "" "" %s' % (
            named(link['path']), nsis_text(link['target']), nsis_text(link['description'])))
    lines.append('SectionEnd')
    with open(out, 'w', encoding='utf-8-sig') as f:
        f.write('\n'.join(lines) + '\n')


def shell_folder(path):
    """(context, NSIS text) of a path below one of the shell's folders."""
    m = re.match(r'C:\\users\\[^\\]+\\AppData\\Roaming\\Microsoft\\Windows\\Start Menu(\\Programs)?(\\.*)?$',
                 path, re.I)
    if m and not path.lower().startswith('c:\\users\\public\\'):
        return 'current', ('$SMPROGRAMS' if m.group(1) else '$STARTMENU') + (m.group(2) or '')
    m = re.match(r'C:\\users\\([^\\]+)\\Desktop(\\.*)?$', path, re.I)
    if m:
        return ('all' if m.group(1).lower() == 'public' else 'current'), '$DESKTOP' + (m.group(2) or '')
    m = re.match(r'C:\\ProgramData\\Microsoft\\Windows\\Start Menu(\\Programs)?(\\.*)?$', path, re.I)
    if m:
        return 'all', ('$SMPROGRAMS' if m.group(1) else '$STARTMENU') + (m.group(2) or '')
    return 'current', path


def reset(job_path, out):
    with open(job_path, encoding='utf-8') as f:
        job = json.load(f)
    created = [windows_root(k)[2] for k in job['created_keys']]
    lines = ['Windows Registry Editor Version 5.00', '']
    for key in created:
        lines += ['[-%s]' % key, '']
    by_key = {}
    for v in job['written']:
        name = windows_root(v['key'])[2]
        if any(name.lower() == c.lower() or name.lower().startswith(c.lower() + '\\') for c in created):
            continue
        by_key.setdefault(name, []).append(
            reg_line(v['name'], v['old'][0], v['old'][1]) if v['old'] else reg_name(v['name']) + '=-')
    for v in job['removed']:
        by_key.setdefault(windows_root(v['key'])[2], []).append(reg_line(v['name'], v['type'], v['data']))
    for key, values in by_key.items():
        lines += ['[%s]' % key] + values + ['']
    with open(out, 'w', encoding='utf-16') as f:
        f.write('\r\n'.join(lines) + '\r\n')


def reg_name(name):
    return '@' if name == '' else '"' + name.replace('\\', '\\\\').replace('"', '\\"') + '"'


def reg_line(name, kind, data_hex):
    data = bytes.fromhex(data_hex)
    if kind == 4 and len(data) == 4:
        return '%s=dword:%08x' % (reg_name(name), struct.unpack('<I', data)[0])
    return '%s=hex(%x):%s' % (reg_name(name), kind, ','.join('%02x' % b for b in data))


def linux_path(path, drive_c):
    return os.path.join(drive_c, path[3:].replace('\\', '/'))


def clean(job_path, drive_c):
    with open(job_path, encoding='utf-8') as f:
        job = json.load(f)
    for entry in job['links'] + job['files']:
        p = linux_path(entry['path'], drive_c)
        if os.path.exists(p):
            os.remove(p)
    for folder in sorted(job['folders'], key=len, reverse=True):
        p = linux_path(folder, drive_c)
        if os.path.isdir(p):
            os.rmdir(p)


def check(job_path, snapshot, drive_c):
    with open(job_path, encoding='utf-8') as f:
        job = json.load(f)
    now = read_reg(snapshot)
    faults = []
    for v in job['written']:
        values = now.get(v['key'].lower(), (None, {}))[1]
        got = values.get(v['name'].lower())
        if got is None:
            faults.append('missing value %s "%s"' % (v['key'], v['name']))
        elif (got[1], got[2]) != (v['type'], v['data']):
            faults.append('value %s "%s" is %s, not %s' % (v['key'], v['name'], got[1:], (v['type'], v['data'])))
    for v in job['removed']:
        if v['name'].lower() in now.get(v['key'].lower(), (None, {}))[1]:
            faults.append('value %s "%s" is still there' % (v['key'], v['name']))
    for link in job['links']:
        p = linux_path(link['path'], drive_c)
        if not os.path.isfile(p):
            faults.append('missing shortcut ' + link['path'])
        elif parse_link(p) != (link['target'], link['description']):
            faults.append('shortcut %s is %s' % (link['path'], parse_link(p)))
    for entry in job['files']:
        p = linux_path(entry['path'], drive_c)
        if not os.path.isfile(p):
            faults.append('missing file ' + entry['path'])
        else:
            with open(p, 'rb') as f:
                if f.read().hex() != entry['data']:
                    faults.append('file %s differs' % entry['path'])
    for fault in faults[:20]:
        print(fault)
    if len(faults) > 20:
        print('... and %d more' % (len(faults) - 20))
    return 1 if faults else 0


def same(before_reg, now_reg):
    def counted(keys):
        return {(k, n): v[1:] for k, (key, values) in keys.items() if counts(key)
                for n, v in values.items()}
    before, now = counted(read_reg(before_reg)), counted(read_reg(now_reg))
    faults = ['%s "%s": %s, was %s' % (k, n, now.get((k, n)), before.get((k, n)))
              for (k, n) in sorted(set(before) | set(now)) if before.get((k, n)) != now.get((k, n))]
    for fault in faults[:20]:
        print(fault)
    return 1 if faults else 0


def main(argv):
    command = argv[1] if len(argv) > 1 else ''
    if command == 'record' and len(argv) == 7:
        record(*argv[2:])
    elif command == 'nsi' and len(argv) == 4:
        nsi(*argv[2:])
    elif command == 'reset' and len(argv) == 4:
        reset(*argv[2:])
    elif command == 'clean' and len(argv) == 4:
        clean(*argv[2:])
    elif command == 'same' and len(argv) == 4:
        return same(*argv[2:])
    elif command == 'check' and len(argv) == 5:
        return check(*argv[2:])
    else:
        print(__doc__, file=sys.stderr)
        return 2
    return 0


if __name__ == '__main__':
    sys.exit(main(sys.argv))

#!/usr/bin/env python3
"""The closing table of `make test`: every CTest suite of the build trees,
the program it drove and how it ended, from the JUnit files that CTest wrote
(build/<tree>/ctest-results.xml).

    scripts/test-summary.py [BUILD_DIR]

Exits with 1 when no end-to-end suite drove the program at all (every one
skipped, or its build tree has no results), so a machine that can run
nothing of the program under Wine never passes silently.
"""
import os
import re
import sys
import xml.etree.ElementTree as ET

TREES = ("host", "win64", "win32")
WHERE = re.compile(r"^wine-test\.sh: (i686 in a 32-bit prefix|i686 under WoW64 in a 64-bit prefix|x86_64 in a 64-bit prefix)", re.M)
SKIP = re.compile(r"^SKIP: (.*)$", re.M)
# why a suite stopped early: no window in its prefix, or a test past its limit
STOPPED = re.compile(r"^(?:wine-test\.sh: (no window can be shown in this prefix.*)|(\[watchdog\] .*))$", re.M)


def rows(path):
    for case in ET.parse(path).getroot().iter("testcase"):
        out = case.findtext("system-out") or ""
        where = WHERE.search(out)
        status = case.get("status")
        if status == "run":
            result = "passed"
        elif status == "fail":
            failure = case.find("failure")
            reason = failure.get("message", "") if failure is not None else ""
            stopped = STOPPED.findall(out)
            if stopped:
                reason = "".join(stopped[-1])
            result = "FAILED" + (f" ({reason})" if reason else "")
        else:
            reasons = SKIP.findall(out)
            skipped = case.find("skipped")
            reason = reasons[-1] if reasons else (skipped.get("message", "") if skipped is not None else status)
            result = f"skipped: {reason}"
        ran = status in ("run", "fail")
        program = "-" if not ran else where.group(1) if where else "native"
        yield case.get("name"), program, result, ran, float(case.get("time", 0))


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    table, missing = [], []
    for tree in TREES:
        path = os.path.join(build, tree, "ctest-results.xml")
        if os.path.exists(path):
            table += [(tree,) + row for row in rows(path)]
        else:
            missing.append(tree)
    print()
    print("== What the tests drove")
    if table:
        name_width = max(len(row[1]) for row in table)
        where_width = max(len(row[2]) for row in table)
        print(f"{'tree':6} {'suite':{name_width}}  {'program':{where_width}}  {'time':>8}  result")
        for tree, name, where, result, _, seconds in table:
            print(f"{tree:6} {name:{name_width}}  {where:{where_width}}  {seconds:6.0f} s  {result}")
    for tree in missing:
        print(f"{tree:6} no results: its configuration or build failed, or it was not run")
    ran = [(name, where) for _, name, where, _, ran, _ in table if name.startswith("e2e_tests") and ran]
    if not ran:
        print("NO END-TO-END RUN: no suite drove uninstall.exe under Wine on this machine")
        return 1
    programs = sorted({where for _, where in ran})
    print(f"End-to-end: {len(ran)} suites drove uninstall.exe ({', '.join(programs)})")
    return 0


if __name__ == "__main__":
    sys.exit(main())

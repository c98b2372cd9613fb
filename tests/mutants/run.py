#!/usr/bin/env python3
"""Plants each fault of faults.txt in turn into a source tree, builds it and
runs the whole suite there, and prints which faults the suite finds.

  tests/mutants/run.py SOURCE BUILD [ID ...]

SOURCE is a checkout the faults are planted in (not the one you work in),
BUILD its configured build folder. Each file is restored after its fault."""
import os
import subprocess
import sys


def faults(path):
    entry = {}
    for line in open(path, encoding='utf-8'):
        line = line.rstrip('\n')
        if line.startswith('#'):
            continue
        if not line.strip():
            if entry:
                yield entry
            entry = {}
            continue
        key, _, value = line.partition(': ')
        entry[key] = value.replace('\\n', '\n')
    if entry:
        yield entry


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=3600)


def main():
    source, build, wanted = sys.argv[1], sys.argv[2], set(sys.argv[3:])
    found = 0
    planted = [f for f in faults(os.path.join(os.path.dirname(__file__), 'faults.txt'))
               if not wanted or f['id'] in wanted]
    for fault in planted:
        path = os.path.join(source, fault['file'])
        original = open(path, encoding='utf-8').read()
        if original.count(fault['find']) != 1:
            print(f"{fault['id']}: NOT PLANTED (the text is not there exactly once)", flush=True)
            continue
        open(path, 'w', encoding='utf-8').write(original.replace(fault['find'], fault['replace']))
        try:
            built = run(['cmake', '--build', '.', '-j2'], build)
            if built.returncode != 0:
                print(f"{fault['id']}: DOES NOT BUILD", flush=True)
                continue
            tests = run(['ctest', '-j2', '--timeout', '300'], build)
            failed = [l.split(' - ')[1].split(' ')[0] for l in tests.stdout.splitlines()
                      if ' - ' in l and '(' in l and l.strip()[0].isdigit()]
            found += bool(failed)
            print(f"{fault['id']}: {'found by ' + ', '.join(failed) if failed else 'MISSED'}", flush=True)
        finally:
            open(path, 'w', encoding='utf-8').write(original)
    run(['cmake', '--build', '.', '-j2'], build)
    print(f"found {found} of {len(planted)}")


if __name__ == '__main__':
    main()

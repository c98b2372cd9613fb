#!/usr/bin/env python3
"""Plants each fault of faults.txt in turn into a source tree, builds it and
runs the whole suite there, and prints which faults the suite finds.

  tests/mutants/run.py SOURCE BUILD [ID ...] [--suites REGEX]

SOURCE is a checkout the faults are planted in (not the one you work in),
BUILD its configured build folder. Each file is restored after its fault.
With --suites only the suites whose names match are run, for a quick look
at one area; the figures in docs/testing.md are of whole runs."""
import os
import subprocess
import sys


def faults(path):
    for block in open(path, encoding='utf-8').read().split('\n\n'):
        lines = [line for line in block.splitlines() if not line.startswith('#')]
        if lines:
            yield {key: value.replace('\\n', '\n') for key, _, value in (line.partition(': ') for line in lines)}


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, capture_output=True, text=True, timeout=3600)


def main():
    args = sys.argv[1:]
    suites = []
    if '--suites' in args:
        at = args.index('--suites')
        suites = ['-R', args[at + 1]]
        del args[at:at + 2]
    source, build, wanted = args[0], args[1], set(args[2:])
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
            if run(['cmake', '--build', '.', '-j2'], build).returncode != 0:
                print(f"{fault['id']}: DOES NOT BUILD", flush=True)
                continue
            tests = run(['ctest', '-j2', '--timeout', '300'] + suites, build)
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

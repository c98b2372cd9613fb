#!/usr/bin/env python3
"""Plants each fault of faults.txt in turn into a source tree, builds it and
runs the whole suite there, and prints which faults the suite finds.

  tests/mutants/run.py SOURCE BUILD [ID ...] [--suites REGEX]

SOURCE is a checkout the faults are planted in (not the one you work in),
BUILD its configured build folder. Each file is restored after its fault.
With --suites only the suites whose names match are built and run, for a
quick look at one area; the figures in docs/testing.md are of whole runs."""
import json
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
    args = sys.argv[1:]
    suites = None
    if '--suites' in args:
        at = args.index('--suites')
        suites = args[at + 1]
        del args[at:at + 2]
    source, build, wanted = args[0], args[1], set(args[2:])
    targets = []
    if suites:
        # The programs the suites run that this build makes: a peer test's
        # command is the interpreter, its script and the simulated unit. A
        # suite not built yet has no command; its program bears its name.
        listed = json.loads(run(['ctest', '--show-only=json-v1', '-R', suites], build).stdout)
        binaries = os.path.join(os.path.realpath(build), 'bin') + os.sep
        targets = ['--target'] + sorted({os.path.basename(c) for t in listed['tests']
                                         for c in t.get('command', [binaries + t['name']])
                                         if os.path.realpath(c).startswith(binaries)})
    build_command = ['cmake', '--build', '.', '-j2'] + targets
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
            built = run(build_command, build)
            if built.returncode != 0:
                print(f"{fault['id']}: DOES NOT BUILD", flush=True)
                continue
            tests = run(['ctest', '-j2', '--timeout', '300'] + (['-R', suites] if suites else []), build)
            failed = [l.split(' - ')[1].split(' ')[0] for l in tests.stdout.splitlines()
                      if ' - ' in l and '(' in l and l.strip()[0].isdigit()]
            found += bool(failed)
            print(f"{fault['id']}: {'found by ' + ', '.join(failed) if failed else 'MISSED'}", flush=True)
        finally:
            open(path, 'w', encoding='utf-8').write(original)
    run(build_command, build)
    print(f"found {found} of {len(planted)}")


if __name__ == '__main__':
    main()

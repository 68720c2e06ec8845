#!/usr/bin/env python3
"""clang-tidy over the tree's sources, in parallel, skipping what passed before.

    scripts/tidy.py BUILD [--all] [--jobs N] [SOURCE...]

Runs clang-tidy (with the checks of .clang-tidy) on every tracked source in
BUILD/compile_commands.json, with that file's flags. A source that passes is
remembered under a key made of clang-tidy's version, .clang-tidy, the
waivers that concern it, the file's compile command, its text and the text of every project
header it includes, directly or through other headers: while none of these
changes, the source is not checked again. Paths of the checkout and of the
build tree are left out of the key, so that another clone or worktree of the
same code finds it too. The keys are kept in SETUPKIT_TIDY_CACHE (default
~/.cache/setupkit/tidy, beside the compiler cache), each file a key; those
not used for 30 days are removed. --all checks every source; SOURCE
arguments check only those. Findings are printed as clang-tidy prints them;
the status is 1 when there was one, other than those scripts/tidy-waivers.txt
tolerates.
"""
import argparse
import concurrent.futures
import hashlib
import json
import os
import re
import subprocess
import sys
import time

ROOT = os.path.realpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))
WARNING = re.compile(r'^(/[^:]+):(\d+):\d+: warning: .*\[([^\],]+)[^\]]*\]$', re.MULTILINE)
INCLUDE = re.compile(rb'^\s*#\s*include\s*"([^"]+)"', re.MULTILINE)
# Folders of the project's own code; headers elsewhere (the system's, the
# build's generated ones) are not checked.
PROJECT_DIRS = ['app', 'common', 'controls', 'engine', 'framework', 'install', 'medium', 'platform', 'tests', 'tools']


def tracked_files():
    out = subprocess.run(['git', 'ls-files', '-z'], cwd=ROOT, check=True, capture_output=True).stdout
    return {os.path.join(ROOT, name) for name in out.decode().split('\0') if name}


class Headers:
    """The project headers a file includes, directly or through others."""

    def __init__(self, tracked):
        self.tracked = tracked
        self.direct = {}

    def includes(self, path):
        if path not in self.direct:
            with open(path, 'rb') as f:
                text = f.read()
            found = []
            for name in INCLUDE.findall(text):
                name = name.decode()
                # The project's include path is its root; a name may also be
                # relative to the including file.
                for candidate in (os.path.join(ROOT, name), os.path.join(os.path.dirname(path), name)):
                    candidate = os.path.normpath(candidate)
                    if candidate in self.tracked:
                        found.append(candidate)
                        break
                # A form's header is made in the build tree from its .ui file.
                if name.startswith('ui_') and name.endswith('.h'):
                    form = os.path.join(os.path.dirname(path), name[3:-2] + '.ui')
                    if form in self.tracked:
                        found.append(form)
            self.direct[path] = found
        return self.direct[path]

    def closure(self, path):
        seen, todo = set(), [path]
        while todo:
            for header in self.includes(todo.pop()):
                if header not in seen:
                    seen.add(header)
                    todo.append(header)
        return sorted(seen)


def waivers():
    """(path, check) pairs from scripts/tidy-waivers.txt: lines "PATH CHECK  # why"."""
    found = set()
    with open(os.path.join(ROOT, 'scripts', 'tidy-waivers.txt')) as f:
        for line in f:
            words = line.split('#', 1)[0].split()
            if len(words) == 2:
                found.add((os.path.join(ROOT, words[0]), words[1]))
    return found


def file_bytes(path):
    with open(path, 'rb') as f:
        return f.read()


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument('build')
    parser.add_argument('--all', action='store_true')
    parser.add_argument('--jobs', type=int, default=os.cpu_count() or 1)
    parser.add_argument('sources', nargs='*')
    args = parser.parse_args()

    build = os.path.realpath(args.build)
    with open(os.path.join(build, 'compile_commands.json')) as f:
        commands = json.load(f)
    tracked = tracked_files()
    sources = {}
    for entry in commands:
        path = os.path.normpath(os.path.join(entry['directory'], entry['file']))
        if path in tracked:
            sources[path] = entry.get('command') or ' '.join(entry['arguments'])

    version = subprocess.run(['clang-tidy', '--version'], check=True, capture_output=True).stdout
    common = hashlib.sha256(version + file_bytes(os.path.join(ROOT, '.clang-tidy'))).digest()
    waived = waivers()
    headers = Headers(tracked)
    home_cache = os.path.join(os.environ.get('XDG_CACHE_HOME') or os.path.expanduser('~/.cache'), 'setupkit', 'tidy')
    cache = os.environ.get('SETUPKIT_TIDY_CACHE') or home_cache
    os.makedirs(cache, exist_ok=True)
    for name in os.listdir(cache):
        entry = os.path.join(cache, name)
        if time.time() - os.path.getmtime(entry) > 30 * 86400:
            os.remove(entry)

    def key(path):
        h = hashlib.sha256(common)
        h.update(sources[path].replace(build, '@BUILD@').replace(ROOT, '@ROOT@').encode())
        for part in [path] + headers.closure(path):
            h.update(os.path.relpath(part, ROOT).encode() + b'\0' + file_bytes(part))
            # The waivers of this file and its headers: a source that passed
            # thanks to one is checked again once the waiver goes.
            h.update(repr(sorted(check for file, check in waived if file == part)).encode())
        return h.hexdigest()

    def cache_file(k):
        return os.path.join(cache, k)

    chosen = sorted(sources)
    if args.sources:
        chosen = [p for p in (os.path.realpath(s) for s in args.sources) if p in sources]
    stale = []
    for path in chosen:
        k = key(path)
        if not args.all and os.path.exists(cache_file(k)):
            os.utime(cache_file(k))
            continue
        stale.append((path, k))
    print(f'clang-tidy: {len(stale)} of {len(sources)} sources to check', flush=True)

    header_filter = '^' + re.escape(ROOT) + '/(' + '|'.join(PROJECT_DIRS) + ')/'

    def check(item):
        """Runs clang-tidy on one source: (path, output, passed, waived findings)."""
        path, k = item
        result = subprocess.run(['clang-tidy', '--quiet', '-p', build, '--header-filter=' + header_filter, path],
                                 capture_output=True, text=True)
        findings = [(os.path.normpath(m.group(1)), m.group(2), m.group(3)) for m in WARNING.finditer(result.stdout)]
        known = [f for f in findings if (f[0], f[2]) in waived]
        passed = result.returncode == 0 and len(known) == len(findings)
        if passed:
            with open(cache_file(k), 'w') as f:
                f.write(os.path.relpath(path, ROOT) + '\n')
        # clang-tidy's count of warnings and suppressions goes to standard
        # error; only real errors (a source that does not compile) are kept.
        errors = [line for line in result.stderr.splitlines() if 'error' in line and 'warnings generated' not in line]
        output = result.stdout + ''.join(line + '\n' for line in errors)
        return path, output, passed, known

    failed = 0
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        for path, output, passed, known in pool.map(check, stale):
            if not passed:
                failed += 1
                sys.stdout.write(output)
            for file, line, name in known:
                print(f'{os.path.relpath(file, ROOT)}:{line}: known finding [{name}] (scripts/tidy-waivers.txt)')
            sys.stdout.flush()
    if failed:
        print(f'clang-tidy: findings in {failed} sources', flush=True)
        return 1
    return 0


if __name__ == '__main__':
    sys.exit(main())

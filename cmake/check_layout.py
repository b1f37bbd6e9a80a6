#!/usr/bin/env python3
"""Checks the source tree's layout rules; prints each breach and exits 1.

- A quoted include without a folder names a header of the including file's
  own folder; any other header is included by its path from an include root
  ("json/json_reader.h", "ostrel/IKovaConfig.h", "tools/check_report.h").
- A header under a folder's internal/ ("KovaConfig/internal/x.h") is included
  only from that folder: it holds what that folder's code alone may use.
- CMake lists its sources by name: no file(GLOB).
- No source file is over 800 lines.

Usage: check_layout.py SOURCE_DIR
"""
import os
import re
import sys

SOURCE_DIRS = ('ostrel', 'cpp', 'tools', 'inspect', 'util', 'bench', 'fuzz')
MAX_LINES = 800
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)"', re.M)
INTERNAL = re.compile(r'^\s*#\s*include\s+"((?:[^"/]+/)+)internal/[^"]+"', re.M)
GLOB = re.compile(r'file\s*\(\s*GLOB', re.I)


def main(root):
    breaches = []
    for top in SOURCE_DIRS + ('cmake',):
        for folder, _, names in os.walk(os.path.join(root, top)):
            for name in names:
                path = os.path.join(folder, name)
                shown = os.path.relpath(path, root)
                if name == 'CMakeLists.txt' or name.endswith('.cmake'):
                    with open(path, encoding='utf-8') as f:
                        if GLOB.search(f.read()):
                            breaches.append(f'{shown}: file(GLOB) instead of named sources')
                    continue
                if not name.endswith(('.cc', '.h')) or top == 'cmake':
                    continue
                with open(path, encoding='utf-8') as f:
                    text = f.read()
                if text.count('\n') > MAX_LINES:
                    breaches.append(f'{shown}: {text.count(chr(10))} lines, over {MAX_LINES}')
                here = folder.replace(os.sep, '/') + '/'
                for owner in INTERNAL.findall(text):
                    if not here.endswith(('/' + owner, f'/{owner}internal/')):
                        breaches.append(f'{shown}: includes an internal header of {owner}')
                for header in INCLUDE.findall(text):
                    if not os.path.exists(os.path.join(folder, header)):
                        breaches.append(f'{shown}: "{header}" is not in this folder: '
                                        'include it by its path from an include root')
    for line in breaches:
        print(line)
    return 1 if breaches else 0


if __name__ == '__main__':
    sys.exit(main(sys.argv[1]))

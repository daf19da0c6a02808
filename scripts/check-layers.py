#!/usr/bin/env python3
"""The engine's include rule: a folder of src/jet includes only from itself,
the folders before it, the public headers at the top of src/jet and
src/platform; code outside the engine includes only those public headers
(tests may look inside); nothing outside src/platform and the window code includes a
system header of an operating system; and no two engine files include each
other, directly or round a cycle. Prints each breach; exits 1 when any."""
import os, re, sys

ORDER = ['base', 'file', 'log', 'pager', 'format', 'space', 'rows', 'index', 'expr', 'catalog',
         'db']
OS_HEADERS = re.compile(r'#include <(unistd\.h|fcntl\.h|sys/[^>]+|windows\.h|iconv\.h|langinfo\.h|io\.h|shellapi\.h|poll\.h|spawn\.h)>')
INCLUDE = re.compile(r'#include "([^"]+)"')
root = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
src = os.path.join(root, 'src')
breaches = []
graph = {}

def layer(path):  # 'jet/rows/x.h' -> index in ORDER; top-level public -> -1
    parts = path.split('/')
    if parts[0] != 'jet':
        return None
    return ORDER.index(parts[1]) if len(parts) == 3 and parts[1] in ORDER else -1

for base in ['src', 'tools', 'tests', 'fuzz', 'bench']:
    for dirpath, _, files in os.walk(os.path.join(root, base)):
        for name in files:
            if not name.endswith(('.h', '.cc')):
                continue
            full = os.path.join(dirpath, name)
            rel = os.path.relpath(full, src).replace(os.sep, '/')
            text = open(full, encoding='utf-8').read()
            window = '/wizard/win32/' in full or '/wizard/window/' in full
            test = name.endswith('_test.cc') or '/tests/' in full or '/testing/' in full
            if not (rel.startswith('platform/') or window or test) and OS_HEADERS.search(text):
                breaches.append(f'{rel}: includes an operating system header')
            if not rel.startswith('jet/') and not test:
                for inc in INCLUDE.findall(text):
                    if inc.startswith('jet/') and inc.count('/') > 1:
                        breaches.append(f'{rel}: includes {inc}, inside the engine')
            if not rel.startswith('jet/') or test:
                continue
            mine = layer(rel)
            for inc in INCLUDE.findall(text):
                theirs = layer(inc)
                if theirs is None:
                    continue
                if mine is not None and mine >= 0 and theirs > mine:
                    breaches.append(f'{rel}: includes {inc}, a higher layer')
                if inc == 'jet/database.h' and mine is not None and 0 <= mine < ORDER.index('db'):
                    breaches.append(f'{rel}: includes the Database (jet/types.h holds the value types)')
                if mine == -1 and theirs >= 0 and not name.endswith('.cc'):
                    breaches.append(f'{rel}: a public header includes {inc}')
                graph.setdefault(rel.rsplit('.', 1)[0], set()).add(inc.rsplit('.', 1)[0])

# Cycles between engine files (a .h and its .cc count as one).
state = {}
def visit(node, path):
    state[node] = 1
    for nxt in graph.get(node, ()):
        if nxt == node:
            continue
        if state.get(nxt) == 1:
            breaches.append('include cycle: ' + ' -> '.join(path[path.index(nxt):] + [nxt]))
        elif nxt not in state:
            visit(nxt, path + [nxt])
    state[node] = 2
for node in list(graph):
    if node not in state:
        visit(node, [node])

for b in breaches:
    print(b)
sys.exit(1 if breaches else 0)

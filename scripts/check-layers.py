#!/usr/bin/env python3
"""How the code is layered, checked on the includes and calls of every file.

Modules depend one way, each on the ones named after it (and what those
depend on); the tests, benchmarks and fuzz targets may use any module:
  wizard -> database -> ado -> sql -> jet -> platform -> strings
            database -> errors -> platform;  database -> yeardata -> strings
            ado -> errors;  tools (jetdb) -> sql
Inside the engine (src/jet) a folder includes only from itself, the
folders before it and the public headers at the top of src/jet; code
outside the engine includes only those public headers (tests may look
inside), and no engine folder below db includes the Database itself.

No two files include each other, directly or round a cycle (a .h and its
.cc count as one), in any module.

Nothing outside src/platform and the window code (src/wizard/win32,
src/wizard/window) reaches the operating system: no system header of one,
and no call of its functions by name (environment, processes, files,
clock, character sets; POSIX, Win32, and the C and C++ libraries' ways to
them). Comments and string literals are not read for calls.

Prints each breach; exits 1 when any."""
import os, re, sys

ROOT = os.path.normpath(os.path.join(os.path.dirname(os.path.abspath(__file__)), '..'))

# What each module uses directly; it may include those and what they use.
USES = {
    'strings': [],
    'platform': ['strings'],
    'jet': ['platform'],
    'sql': ['jet'],
    'errors': ['platform'],
    'yeardata': ['strings'],
    'ado': ['sql', 'errors'],
    'database': ['ado', 'errors', 'yeardata'],
    'wizard': ['database'],
    'tools': ['sql'],
}
ENGINE = ['base', 'file', 'log', 'pager', 'format', 'space', 'rows', 'index', 'expr', 'catalog',
          'db']

OS_HEADERS = re.compile(r'#include <(unistd\.h|fcntl\.h|sys/[^>]+|windows\.h|iconv\.h|langinfo\.h|'
                        r'io\.h|shellapi\.h|poll\.h|spawn\.h|dlfcn\.h|dirent\.h|errno\.h|'
                        r'shlobj\.h|knownfolders\.h)>')
OS_FUNCTIONS = (
    # environment and processes
    r'getenv|_wgetenv|secure_getenv|setenv|unsetenv|putenv|_putenv|system|popen|_popen|pclose|'
    r'fork|vfork|exec[lv]p?e?|posix_spawnp?|waitpid|getpid|_getpid|'
    # files
    r'fopen|_wfopen|freopen|open|openat|creat|unlink|rmdir|mkdir|stat|lstat|fstat|access|chmod|'
    r'truncate|ftruncate|fsync|fdatasync|flock|fcntl|lockf|mmap|munmap|pread|pwrite|lseek|'
    r'dup2?|pipe|mkstemp|mkdtemp|isatty|'
    # clock and character sets
    r'clock_gettime|gettimeofday|localtime(?:_r|_s)?|gmtime(?:_r|_s)?|mktime|nl_langinfo|'
    r'iconv_open|iconv|'
    # Win32
    r'CreateFile[AW]|ReadFile|WriteFile|CloseHandle|DeleteFile[AW]|MoveFileEx[AW]|'
    r'GetFileAttributes[AW]|SetFileAttributes[AW]|LockFileEx|UnlockFileEx|FlushFileBuffers|'
    r'GetEnvironmentVariable[AW]|SHGetKnownFolderPath|MultiByteToWideChar|WideCharToMultiByte|'
    r'GetLastError|CreateProcess[AW]|ShellExecute[AW]|GetModuleFileName[AW]|CreateMutex[AW]|'
    r'MessageBox[AW]|GetLocalTime|GetSystemTime|GetSystemTimeAsFileTime|GetTickCount|Sleep|'
    r'LoadLibrary[AW]|GetProcAddress|GetACP|GetLocaleInfo(?:Ex|[AW])')
# A call by name: not a member (. or ->) and not part of a longer name.
OS_CALL = re.compile(r'(?<![\w.>])(?:(?:std)?::)?(' + OS_FUNCTIONS + r')\s*\(')
OS_USE = re.compile(r'(?<![\w.>])::(?:read|write|close)\s*\(|\bsystem_clock::now\b|'
                    r'\bstd::time\s*\(|\bstd::filesystem::(?!path\b)[a-z_]+\s*\(|'
                    r'\bstd::[io]?fstream\b')
INCLUDE = re.compile(r'^\s*#\s*include "([^"]+)"', re.M)
breaches = []
graph = {}


def code_only(text):
    """The text with comments and string and character literals blanked,
    lines kept where they were."""
    return re.sub(r'//[^\n]*|/\*.*?\*/|R"([^(\s]*)\(.*?\)\1"|"(?:\\.|[^"\\\n])*"|'
                  r"'(?:\\.|[^'\\\n])*'",
                  lambda m: '\n' * m.group(0).count('\n'), text, flags=re.S)


def module_of(path):  # 'jet/rows/x.h', 'tools/jetdb/x.h', 'support/x.h' -> its module
    first = path.split('/')[0]
    return first if first in USES else None


def allowed(module):
    seen, todo = set(), [module]
    while todo:
        for used in USES[todo.pop()]:
            if used not in seen:
                seen.add(used)
                todo.append(used)
    return seen | {module}


def engine_layer(path):  # 'jet/rows/x.h' -> index in ENGINE; a public header -> -1
    parts = path.split('/')
    if parts[0] != 'jet':
        return None
    return ENGINE.index(parts[1]) if len(parts) == 3 and parts[1] in ENGINE else -1


def check_file(full, rel):
    """rel: the path as includes name it ('jet/x.h', 'tools/jetdb/x.h')."""
    name = os.path.basename(full)
    text = open(full, encoding='utf-8').read()
    code = code_only(text)
    window = '/wizard/win32/' in full or '/wizard/window/' in full
    test = (name.endswith('_test.cc') or '/testing/' in full or
            rel.split('/')[0] in ('tests', 'support', 'bench', 'fuzz'))
    includes = INCLUDE.findall(text)

    if not (rel.startswith('platform/') or window or test):
        if OS_HEADERS.search(code):
            breaches.append(f'{rel}: includes an operating system header')
        for number, line in enumerate(code.split('\n'), 1):
            for m in list(OS_CALL.finditer(line)) + list(OS_USE.finditer(line)):
                breaches.append(f'{rel}:{number}: calls the operating system ({m.group(0)})')

    mine = module_of(rel)
    if mine is not None and not test:
        for inc in includes:
            theirs = module_of(inc)
            if theirs is not None and theirs not in allowed(mine):
                breaches.append(f'{rel}: includes {inc}, a module {mine} does not use')
            elif inc.split('/')[0] == 'support':
                breaches.append(f'{rel}: includes {inc}, a test helper')
        node = rel.rsplit('.', 1)[0]
        for inc in includes:
            if module_of(inc) is not None:
                graph.setdefault(node, set()).add(inc.rsplit('.', 1)[0])

    if test:
        return
    if not rel.startswith('jet/'):
        for inc in includes:
            if inc.startswith('jet/') and inc.count('/') > 1:
                breaches.append(f'{rel}: includes {inc}, inside the engine')
        return
    layer = engine_layer(rel)
    for inc in includes:
        theirs = engine_layer(inc)
        if theirs is None:
            continue
        if layer >= 0 and theirs > layer:
            breaches.append(f'{rel}: includes {inc}, a higher layer')
        if inc == 'jet/database.h' and 0 <= layer < ENGINE.index('db'):
            breaches.append(f'{rel}: includes the Database (jet/types.h holds the value types)')
        if layer == -1 and theirs >= 0 and not name.endswith('.cc'):
            breaches.append(f'{rel}: a public header includes {inc}')


for base in ['src', 'tools', 'tests', 'fuzz', 'bench']:
    for dirpath, _, files in os.walk(os.path.join(ROOT, base)):
        for name in sorted(files):
            if not name.endswith(('.h', '.cc')):
                continue
            full = os.path.join(dirpath, name)
            rel = os.path.relpath(full, ROOT).replace(os.sep, '/')
            if rel.startswith('src/'):
                rel = rel[4:]
            elif rel.startswith('tests/support/'):
                rel = rel[6:]
            check_file(full, rel)

# Cycles between files (a .h and its .cc count as one).
state = {}


def visit(node, path):
    state[node] = 1
    for nxt in sorted(graph.get(node, ())):
        if nxt == node:
            continue
        if state.get(nxt) == 1:
            breaches.append('include cycle: ' + ' -> '.join(path[path.index(nxt):] + [nxt]))
        elif nxt not in state:
            visit(nxt, path + [nxt])
    state[node] = 2


for node in sorted(graph):
    if node not in state:
        visit(node, [node])

for b in breaches:
    print(b)
sys.exit(1 if breaches else 0)

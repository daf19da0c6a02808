#!/usr/bin/env bash
# Lays out the C++ sources as .clang-format says (the generated collation
# table excepted):
#   scripts/format.sh           rewrites the files that differ
#   scripts/format.sh --check   changes nothing; lists each file that differs, exits 1 if any
set -euo pipefail
cd "$(dirname "$0")/.."
mode=(-i)
if [ "${1:-}" = "--check" ]; then
  mode=(--dry-run --Werror)
elif [ $# -gt 0 ]; then
  echo "usage: $0 [--check]" >&2
  exit 2
fi
mapfile -t files < <(find bench fuzz src tests tools -name '*.cc' -o -name '*.h' |
                     grep -v '^src/jet/index/collation_table\.' | sort)
status=0
for f in "${files[@]}"; do
  clang-format "${mode[@]}" "$f" >/dev/null 2>&1 || { echo "not laid out as .clang-format says: $f"; status=1; }
done
exit "$status"

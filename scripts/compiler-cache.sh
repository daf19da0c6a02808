# Sourced by the build scripts. When ccache is installed, compilers run
# through it, with paths taken relative to the folder that holds the
# checkout (and ../shared beside it): a fresh clone of the same sources, or
# a second build folder, then takes the objects an earlier build made
# instead of compiling them again. Sets cache_args for cmake's configure.
cache_args=()
if command -v ccache >/dev/null; then
  CCACHE_BASEDIR="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
  export CCACHE_BASEDIR CCACHE_NOHASHDIR=1
  cache_args=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi

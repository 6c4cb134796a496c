#!/usr/bin/env bash
# Quality gates: clang-format (the committed .clang-format) over every C++ file, and
# clang-tidy (the committed .clang-tidy) over the product code of the x64 build.
#   tools/lint.sh [--fix]     --fix rewrites the files' formatting instead of checking it
set -euo pipefail
cd "$(dirname "$0")/.."
fix=${1:-}

mapfile -t all_files < <(git ls-files -co --exclude-standard -- '*.cpp' '*.h' | grep -v '^build')
if [ "$fix" = "--fix" ]; then
  clang-format -i "${all_files[@]}"
  exit 0
fi
clang-format --dry-run --Werror "${all_files[@]}"
echo "clang-format: ${#all_files[@]} files formatted as .clang-format says"

build=build/x64
[ -f "$build/compile_commands.json" ] || cmake --preset x64 >/dev/null
# clang does not know the mingw g++ search path: hand it the one the cross compiler uses.
extra=(--extra-arg=--target=x86_64-w64-mingw32)
# GCC's own intrinsics headers use GCC builtins that clang lacks: clang brings its own.
while read -r dir; do
  case "$dir" in */lib/gcc/*/include) continue ;; esac
  extra+=("--extra-arg=-isystem$dir")
done < <(x86_64-w64-mingw32-g++-posix -E -x c++ - -v </dev/null 2>&1 |
  sed -n '/#include <...> search starts here/,/End of search list/p' | sed -n 's/^ //p')
mapfile -t product < <(git ls-files -co --exclude-standard -- 'app/*.cpp' 'saver/*.cpp' 'settings/*.cpp' 'run/*.cpp' \
  'preview/*.cpp' 'config/*.cpp' 'ui/*.cpp')
clang-tidy -p "$build" --quiet "${extra[@]}" "${product[@]}"
echo "clang-tidy: ${#product[@]} product files, no findings"

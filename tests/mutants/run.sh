#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Plants each fault of mutants.tsv, one at a time, into a scratch copy of the
# tree, rebuilds what it touches and runs the suite without the real-window
# tests. Writes one line a fault to the results file:
#   name  caught|missed|stale|nobuild  the tests that failed
# "stale" means the text to replace is no longer found exactly once.
#
#   tests/mutants/run.sh [-o results.txt] [-r commit] [-c] [name ...]
#
# -r plants the faults in that commit instead of the working tree; -c goes
# on with a results file, skipping the faults it already holds.
#
# The scratch copy and its build stay in build-mutants/ between runs, so a
# rerun only recompiles what changed (ccache helps with the rest).
#
# Sizes the project keeps an eye on (non-blank lines of C and C++): the
# test code, then everything else:
#   tests/mutants/run.sh --count
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
cd "$top"

# The test code is tests/ and the harness kit; the scenario runner is a tool
# of its own and counts with the rest.
test_code() { git -c core.quotePath=false ls-files 'tests/*.cpp' 'tests/*.h' 'tests/*.c' 'harness/kit/*.cpp' 'harness/kit/*.h'; }
other_code() { git -c core.quotePath=false ls-files '*.cpp' '*.h' '*.c' | grep -v -e '^tests/' -e '^harness/kit/'; }
lines() { xargs cat | grep -cv '^[[:space:]]*$'; }
if [[ ${1:-} == --count ]]; then
  t=$(test_code | lines)
  o=$(other_code | lines)
  echo "test code $t lines, other code $o lines, $((100 * t / o)) %"
  exit 0
fi

results=$top/tests/mutants/results.txt
revision=""
continuing=false
while (($# > 0)); do
  case $1 in
    -o) results=$(realpath "$2") && shift 2 ;;
    -r) revision=$2 && shift 2 ;;
    -c) continuing=true && shift ;;
    *) break ;;
  esac
done
scratch=${ZONBELI_MUTANTS_DIR:-$top/build-mutants}/src
build=${ZONBELI_MUTANTS_DIR:-$top/build-mutants}/build
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-/work}
export QT_QPA_PLATFORM=offscreen SDL_AUDIODRIVER=dummy

# Copies get the current time, never the source's, so that a file put back
# after a fault is always newer than the object built from the fault.
source=$top
if [[ -n $revision ]]; then
  source=$(mktemp -d)
  trap 'rm -rf "$source"' EXIT
  git archive "$revision" | tar -x -C "$source"
fi
mkdir -p "$scratch"
(cd "$source" && { git -c core.quotePath=false ls-files 2>/dev/null || find . -type f -printf '%P\n'; }) |
  while IFS= read -r file; do
    if ! cmp -s "$source/$file" "$scratch/$file"; then
      mkdir -p "$(dirname "$scratch/$file")"
      cp "$source/$file" "$scratch/$file"
    fi
  done
# Quick to compile and to link: no debug information, lld.
if [[ ! -f $build/build.ninja ]]; then
  cmake -S "$scratch" -B "$build" -G Ninja -DZONBELI_BENCH=OFF -DCMAKE_BUILD_TYPE=None \
    -DCMAKE_C_FLAGS=-O1 -DCMAKE_CXX_FLAGS=-O1 -DCMAKE_EXE_LINKER_FLAGS=-fuse-ld=lld \
    -DCMAKE_SHARED_LINKER_FLAGS=-fuse-ld=lld \
    -DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache >/dev/null
fi

# Everything CTest runs but the real-window tests, each GoogleTest program
# once rather than once a case, with a time limit on each (suite.py).
suite() {
  cmake --build "$build" -j2 >"$build/mutant-build.log" 2>&1 || return 2
  "$top/tests/mutants/suite.py" "$build" >"$build/mutant-test.log" 2>&1
}

suite || {
  echo "the suite fails without any fault; see $build/mutant-*.log" >&2
  exit 1
}

$continuing || : >"$results"
while IFS=$'\t' read -r name file find replace; do
  [[ -z $name || $name == \#* ]] && continue
  if (($# > 0)) && [[ " $* " != *" $name "* ]]; then continue; fi
  if grep -q "^$name"$'\t' "$results"; then continue; fi
  target=$scratch/$file
  cp "$target" "$target.unplanted"
  if ! python3 - "$target" "$find" "$replace" <<'EOF'; then
import sys
path, find, replace = sys.argv[1:]
text = open(path, encoding="utf-8").read()
if text.count(find) != 1:
    sys.exit(1)
open(path, "w", encoding="utf-8").write(text.replace(find, replace))
EOF
    printf '%s\tstale\n' "$name" | tee -a "$results"
    continue
  fi
  status=0
  suite || status=$?
  # Put back from the scratch copy itself, which the source may have left.
  cp "$target.unplanted" "$target"
  case $status in
    0) printf '%s\tmissed\n' "$name" | tee -a "$results" ;;
    2) printf '%s\tnobuild\n' "$name" | tee -a "$results" ;;
    *)
      failed=$(tr '\n' ' ' <"$build/mutant-test.log")
      printf '%s\tcaught\t%s\n' "$name" "$failed" | tee -a "$results"
      ;;
  esac
done <"${ZONBELI_MUTANTS_FILE:-$top/tests/mutants/mutants.tsv}"
echo "caught $(grep -c $'\tcaught' "$results") of $(grep -c $'\t' "$results")"

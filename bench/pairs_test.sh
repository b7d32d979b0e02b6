#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# bench/pairs gives every program a figure from each turn it showed content
# in, compares the floor with itself at nothing, and counts a program that
# never shows a window as missing rather than fast.
#   pairs_test.sh <build-dir>
set -euo pipefail
build=$1
out=$("$(dirname "$0")/pairs" "$build" 3 zonbeli="$build/zonbeli" nothing=true 2>&1)
fail() { echo "$*"; echo "$out"; exit 1; }
grep -Eq '^floor +[0-9.]+ ms +\+0\.0 ms from the floor .* 1\.000 times +3 pairs$' <<<"$out" ||
  fail "the floor is not shown as itself in 3 pairs"
grep -Eq '^zonbeli +[0-9.]+ ms +[-+][0-9.]+ ms from the floor .* times +3 pairs$' <<<"$out" ||
  fail "the game has no figure from each of 3 turns"
grep -Eq '^nothing +missing in every turn$' <<<"$out" ||
  fail "a program that shows nothing is not counted as missing"

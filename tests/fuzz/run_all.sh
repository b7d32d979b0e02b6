#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds and runs both fuzzers for a bounded time each: WAV images against
# the sound library, scripts against the scenario runner.
#   tests/fuzz/run_all.sh [seconds=60] [build folder=build-fuzz]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
seconds=${1:-60}
"$here/../../scripts/install_packages.sh" cmake ninja-build pkg-config clang libclang-rt-14-dev sox \
  qt6-base-dev libsdl2-dev libgtest-dev
out=${2:-$here/../../build-fuzz}
"$here/build_and_run.sh" "$seconds" "$out/sound"
"$here/build_and_run_scenario.sh" "$out/scenario" "$seconds"

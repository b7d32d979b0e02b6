#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the scenario-script fuzzer with clang (libFuzzer, AddressSanitizer,
# UndefinedBehaviorSanitizer) and runs it for a bounded time.
#   tests/fuzz/build_and_run_scenario.sh <build folder> [seconds=120]
# The game, the test window and the runner are built in that folder with the
# same instrumentation. The golden scenarios seed the corpus; the corpus the
# run grows and any crashing input stay in the build folder.
set -euo pipefail

if [[ $# -lt 1 ]]; then
  echo "usage: $0 <build folder> [seconds=120]" >&2
  exit 2
fi
out="$1"
seconds="${2:-120}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"

for tool in clang clang++ cmake ninja; do
  command -v "$tool" >/dev/null || { echo "build_and_run_scenario.sh: $tool is needed" >&2; exit 1; }
done

mkdir -p "$out"
out="$(cd "$out" && pwd)"
cmake -S "$root" -B "$out" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_FLAGS=-fsanitize=fuzzer-no-link -DCMAKE_CXX_FLAGS=-fsanitize=fuzzer-no-link \
  -DZONBELI_SANITIZE=ON -DZONBELI_FUZZ=ON -DZONBELI_BENCH=OFF -DZONBELI_TOOLKIT=OFF >/dev/null
ninja -C "$out" -j2 fuzz_scenario

seeds="$out/scenario_seeds"
corpus="$out/scenario_corpus"
mkdir -p "$seeds" "$corpus"
cp "$root"/tests/scenarios/*.txt "$root"/tests/scenarios/malformed.bad "$seeds"/

# The words of the script language, so that mutations build commands.
dict="$out/scenario.dict"
{
  for word in board falling next set clock tick land key keyup click menu call dump png \
    横 縦 オン オフ 開始 終了 BGM その他 \
    得点 最高得点 レベル 出現_回数 落下_間隔 落下_基本間隔 落下_カウンタ \
    爆_予約 星_予約 待機フラグ 終了フラグ 次石 落下石 音 盤 通知 \
    盤_当たり 列_当たり 列_段落ち 効筋_組 効筋_数 \
    効筋設定 調査_当駒 連続消去当たり石 段落ち 終了_段落ち 盤フラグ初期化 \
    隣接石消去設定_爆弾 隣接石消去設定_星 出現_次石 出現_落下石 ゲーム終了か 初期設定 \
    描画_全画面 開始催促 Form_Unload \
    歩 香 桂 銀 金 角 飛 王 爆 星 発 ........... "5,2,歩" "6,2,歩" "7,2,歩" 27 37 38 39 40; do
    # libFuzzer takes only printable ASCII as it is; every byte goes escaped.
    printf '"%s"\n' "$(printf '%s' "$word" | od -An -tx1 -v | tr -d ' \n' | sed 's/../\\x&/g')"
  done
} >"$dict"

cd "$out"
./fuzz_scenario -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=4096 \
  -dict="$dict" -print_final_stats=1 "$corpus" "$seeds"

#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the WAV image fuzzer of the sound library with clang and runs it for a bounded time.
#   tests/fuzz/build_and_run.sh [seconds=60] [build folder=build/fuzz]
# The seed corpus is a handful of small valid WAV files made with sox; the corpus the run grows
# and any crashing input stay in the build folder.
set -euo pipefail

seconds="${1:-60}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
out="${2:-$root/build/fuzz}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

for tool in clang clang++ pkg-config sox; do
  command -v "$tool" >/dev/null || { echo "build_and_run.sh: $tool is needed" >&2; exit 1; }
done

sanitize=("-fsanitize=fuzzer-no-link,address,undefined" -fno-sanitize-recover=undefined
  -fno-omit-frame-pointer -g -O1)
read -r -a sdl_cflags <<<"$(pkg-config --cflags sdl2)"
read -r -a sdl_libs <<<"$(pkg-config --libs sdl2)"

# Images are converted a window of frames at a time; a tiny window makes the short inputs the
# fuzzer tries cross many window boundaries.
objects=()
for part in device pulse_server resampler wav_reader; do
  clang -std=c11 "${sanitize[@]}" "${sdl_cflags[@]}" -DZONBELI_SOUND_PIECE_FRAMES=16 \
    -I"$root/sound/lib" -c "$root/sound/lib/$part.c" -o "$out/$part.o"
  objects+=("$out/$part.o")
done
clang++ -std=c++20 "${sanitize[@]}" -fsanitize=fuzzer -I"$root/sound/lib" \
  "$here/fuzz_sound_image.cpp" "${objects[@]}" "${sdl_libs[@]}" -o "$out/fuzz_sound_image"

seeds="$out/seeds"
corpus="$out/corpus"
mkdir -p "$seeds" "$corpus"
sox -q -n -r 8000 -c 1 -b 8 "$seeds/u8_mono_8000.wav" synth 0.02 sine 440
sox -q -n -r 11025 -c 2 -b 8 "$seeds/u8_stereo_11025.wav" synth 0.02 square 300
sox -q -n -r 22050 -c 1 -b 16 "$seeds/s16_mono_22050.wav" synth 0.02 pluck 220
sox -q -n -r 44100 -c 2 -b 16 "$seeds/s16_stereo_44100.wav" synth 0.01 noise
sox -q -n -r 48000 -c 1 -b 16 "$seeds/s16_mono_48000.wav" synth 0.01 sine 1000 fade 0 0.01 0.005
sox -q -n -r 192000 -c 1 -b 16 "$seeds/s16_mono_192000.wav" synth 0.005 sine 5000
sox -q -n -r 22050 -c 1 -b 16 -e signed-integer -t wavpcm "$seeds/wavpcm.wav" synth 0.01 sine 700

cd "$out"
./fuzz_sound_image -max_total_time="$seconds" -max_len=16384 -timeout=10 \
  -dict="$here/wav.dict" -print_final_stats=1 "$corpus" "$seeds"

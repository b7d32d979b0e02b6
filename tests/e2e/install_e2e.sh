#!/usr/bin/env bash
# Installs the game into a temporary prefix, validates its desktop entry and
# metadata, then starts the installed program from another folder under a
# virtual X server: it must find its own sounds (the music switched on from
# the menu reaches the disk audio driver's output, and switched off again
# stops), and "終了" must end it with status 0.
#   install_e2e.sh <build-dir>
set -euo pipefail
source "$(dirname "$0")/virtual_display.sh"
build=$1
work=$(mktemp -d)
trap 'kill "${game:-}" 2>/dev/null || true; kill "${xvfb:-}" 2>/dev/null || true; rm -rf "$work"' EXIT

cmake --install "$build" --prefix "$work/prefix" >/dev/null
prefix=$work/prefix
for f in bin/zonbeli share/applications/zonbeli.desktop share/metainfo/org.zonbeli.Zonbeli.metainfo.xml \
         share/icons/hicolor/256x256/apps/zonbeli.png share/zonbeli/sounds/BGM.wav \
         share/zonbeli/sounds/石着地.wav; do
  [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
ls "$prefix"/lib*/libzonbeli_sound.so* >/dev/null
desktop-file-validate "$prefix/share/applications/zonbeli.desktop"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$prefix/share/metainfo/org.zonbeli.Zonbeli.metainfo.xml" >/dev/null ||
    appstreamcli validate --no-net "$prefix/share/metainfo/org.zonbeli.Zonbeli.metainfo.xml"
fi

start_virtual_display

unset QT_QPA_PLATFORM
export SDL_AUDIODRIVER=disk SDL_DISKAUDIOFILE=$work/out.raw
mkdir "$work/elsewhere"
(cd "$work/elsewhere" && exec "$prefix/bin/zonbeli") &
game=$!
xdotool search --sync --onlyvisible --name '^Zonbeli$' >/dev/null
sleep 1

# Mean absolute sample of what the driver wrote since byte offset $1.
loudness() {
  python3 - "$SDL_DISKAUDIOFILE" "$1" <<'PY'
import struct, sys
data = open(sys.argv[1], 'rb').read()[int(sys.argv[2]):]
n = len(data) // 2
s = struct.unpack('<%dh' % n, data[:n * 2]) if n else ()
print(sum(abs(v) for v in s) // max(n, 1))
PY
}
size() { stat -c %s "$SDL_DISKAUDIOFILE"; }

# The menu bar: ｵﾌﾟｼｮﾝ is the second caption; BGM its only item.
eval "$(xdotool search --onlyvisible --name '^Zonbeli$' getwindowgeometry --shell)"
option_x=$((X + 80)); bar_y=$((Y + 8))
before=$(size)
[ "$(loudness "$before")" -eq 0 ] || true
xdotool mousemove "$option_x" "$bar_y" click 1; sleep 0.4
xdotool mousemove "$option_x" $((bar_y + 24)) click 1; sleep 1.5
on_level=$(loudness "$before")
echo "music on: mean level $on_level"
[ "$on_level" -gt 100 ] || { echo "the installed game played no music"; exit 1; }

xdotool mousemove "$option_x" "$bar_y" click 1; sleep 0.4
xdotool mousemove "$option_x" $((bar_y + 24)) click 1; sleep 0.5
after=$(size); sleep 1
off_level=$(loudness "$after")
echo "music off: mean level $off_level"
[ "$off_level" -lt 20 ] || { echo "the music did not stop"; exit 1; }

# ゲーム → 終了
xdotool mousemove $((X + 25)) "$bar_y" click 1; sleep 0.4
xdotool mousemove $((X + 25)) $((bar_y + 48)) click 1
for _ in $(seq 30); do kill -0 "$game" 2>/dev/null || break; sleep 0.1; done
if kill -0 "$game" 2>/dev/null; then echo "終了 did not end the game"; exit 1; fi
status=0; wait "$game" || status=$?
[ "$status" -eq 0 ] || { echo "exit status $status"; exit 1; }
echo "install and music: ok"

#!/usr/bin/env bash
# Makes docs/screenshot-windows.png: QX_CLIENT.exe under Wine on a virtual X display after
# 15 seconds of mining against a fresh local mining service on 127.0.0.1:8216 (the
# program's built-in service root), with a Wine prefix of its own whose c:\KESTRAVON holds
# the demo machine's config.ini. Needs `make windows`, the Linux build's mining-service
# (BUILD_DIR, default build), xvfb-run and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${KESTRAVON_SCREENSHOT_DISPLAY:-}" ]; then
  scripts/setup imagemagick
  exec env KESTRAVON_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 1400x900x24" "$0" "$@"
fi

BUILD_DIR="${BUILD_DIR:-build}"
WIN_BUILD_DIR="${WIN_BUILD_DIR:-build-win}"
PORT=8216
work="$(mktemp -d)"
export WINEPREFIX="$work/prefix" WINEDEBUG=-all WINEARCH=win64 WINEDLLOVERRIDES="mscoree,mshtml="
service_pid=""
cleanup() {
  timeout 30 wineserver -k 2>/dev/null || true
  if [ -n "$service_pid" ]; then kill -TERM "$service_pid" 2>/dev/null || true; wait "$service_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

timeout 300 wineboot -i >/dev/null 2>&1
# Without a window manager on the virtual display, Wine draws the title bar and frame itself.
timeout 60 wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
# Wine's own Tahoma, the face "MS Shell Dlg" stands for, is not found where this Wine
# looks for its fonts; the prefix's font folder is always searched.
cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# Korean text falls back to a Korean font linked to Tahoma, as on Windows (whose Gulim
# is not here): Wine's own list of linked fonts, with a Nanum font at its end.
links='MSGOTHIC.TTC,MS UI Gothic\0MINGLIU.TTC,PMingLiU\0SIMSUN.TTC,SimSun\0GULIM.TTC,Gulim'
timeout 60 wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
  /v Tahoma /t REG_MULTI_SZ /d "$links\\0NanumGothic.ttf,NanumGothic" /f >/dev/null 2>&1
timeout 60 wineserver -w
mkdir -p "$WINEPREFIX/drive_c/KESTRAVON"
printf '[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.216\r\n' >"$WINEPREFIX/drive_c/KESTRAVON/config.ini"

"$BUILD_DIR/mining-service" --bind 127.0.0.1 --port "$PORT" --db "$work/service.db" \
  --seed-serial KST-DEMO-0001 --client-version 0.216 >"$work/service.log" 2>&1 &
service_pid=$!
for _ in $(seq 100); do grep -q "listening on" "$work/service.log" && break; sleep 0.1; done
grep -q "listening on" "$work/service.log" || { cat "$work/service.log" >&2; exit 1; }

timeout 120 wine "$WIN_BUILD_DIR/QX_CLIENT.exe" &
client_pid=$!
for _ in $(seq 600); do grep -q "GetData" "$work/service.log" && break; sleep 0.1; done
grep -q "GetData" "$work/service.log" || { echo "screenshot: the client did not start" >&2; exit 1; }
sleep 15

import -window root "$work/root.png"
convert "$work/root.png" -trim +repage docs/screenshot-windows.png
echo "screenshot: wrote docs/screenshot-windows.png ($(identify -format '%wx%h' docs/screenshot-windows.png))"

# Close the window as the close box would: the power-off notice goes out, then it ends.
timeout 30 wine taskkill /im QX_CLIENT.exe >/dev/null 2>&1 || true
wait "$client_pid" 2>/dev/null || true
grep -c "UpdateOnOff" "$work/service.log" | sed 's/^/screenshot: power notices seen by the service: /'

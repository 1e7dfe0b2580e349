#!/usr/bin/env bash
# Makes docs/screenshot.png: the window on a virtual X display after 20 seconds of mining,
# run by scripts/run against a fresh local service (its own data folder, so no real
# config.ini or database is touched). Needs xvfb-run and ImageMagick.
set -euo pipefail
cd "$(dirname "$0")/.."

if [ -z "${KESTRAVON_SCREENSHOT_DISPLAY:-}" ]; then
  scripts/setup imagemagick
  exec env KESTRAVON_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 1400x900x24" "$0" "$@"
fi

data="$(mktemp -d)"
trap 'rm -rf "$data"' EXIT
export XDG_DATA_HOME="$data"
log="$data/kestravon-service/mining-service.log"

scripts/run &
run_pid=$!

# The client has started once the service has answered its machine-information request.
for _ in $(seq 600); do
  if [ -f "$log" ] && grep -q "GetData" "$log"; then break; fi
  sleep 0.5
done
grep -q "GetData" "$log" || { echo "screenshot: the client did not start" >&2; exit 1; }
sleep 20

import -window root "$data/root.png"
convert "$data/root.png" -trim +repage docs/screenshot.png
echo "screenshot: wrote docs/screenshot.png ($(identify -format '%wx%h' docs/screenshot.png))"

client_pid="$(pgrep -P "$run_pid" -x kestravon-miner || true)"
if [ -n "$client_pid" ]; then kill -TERM "$client_pid"; fi
wait "$run_pid" || true

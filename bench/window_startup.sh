#!/usr/bin/env bash
# Prints the client's start-up time to a visible window against the local service, and
# its resident memory while it mines, once a minute for MINUTES minutes (default 5).
# Runs on a virtual X display in a throw-away data folder. Needs a build in build/.
#   bench/window_startup.sh [MINUTES]
set -euo pipefail
cd "$(dirname "$0")/.."
MINUTES="${1:-5}"

if [ -z "${KESTRAVON_BENCH_DISPLAY:-}" ]; then
  exec env KESTRAVON_BENCH_DISPLAY=1 xvfb-run -a -s "-screen 0 1400x900x24" "$0" "$@"
fi

# xvfb-run may return control before its server accepts connections.
for _ in $(seq 100); do xwininfo -root >/dev/null 2>&1 && break; sleep 0.05; done

BUILD_DIR="${BUILD_DIR:-build}"
data="$(mktemp -d)"
export XDG_DATA_HOME="$data"
mkdir -p "$data/kestravon"
printf '[SerialNo]\nNo=KST-DEMO-0001\n[Version]\nClient=0.216\n' >"$data/kestravon/config.ini"

"$BUILD_DIR/mining-service" --port 8216 --db "$data/service.db" >"$data/service.log" 2>&1 &
service=$!
cleanup() {
  kill -TERM "${client:-0}" "$service" 2>/dev/null || true
  wait 2>/dev/null || true
  rm -rf "$data"
}
trap cleanup EXIT
for _ in $(seq 100); do grep -q "listening on" "$data/service.log" && break; sleep 0.05; done

start=$(date +%s%N)
"$BUILD_DIR/kestravon-miner" 2>"$data/client.log" &
client=$!
until xwininfo -name "KESTRAVON MINER V2 0.216" >/dev/null 2>&1; do
  kill -0 "$client" 2>/dev/null || { echo "window_startup: the client ended early:" >&2; cat "$data/client.log" >&2; exit 1; }
  sleep 0.01
done
shown=$(date +%s%N)
echo "start-up to a visible window: $(( (shown - start) / 1000000 )) ms"

for minute in $(seq "$MINUTES"); do
  sleep 60
  rss=$(awk '/VmRSS/ {print $2}' "/proc/$client/status")
  cpu=$(awk '{print $14 + $15}' "/proc/$client/stat")
  echo "minute $minute: resident memory ${rss} kB, cpu ticks so far ${cpu}"
done

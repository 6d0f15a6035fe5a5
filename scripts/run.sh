#!/usr/bin/env bash
# Sets up what is missing, builds the terminal and the demo trade server, starts the
# server on a free loopback port and runs the terminal against it. The terminal's
# configuration and working files live in build/run, never in the source tree.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bash scripts/setup.sh
build=${HALVORN_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target halvorn halvorn-demo-server

rundir="$root/$build/run"
mkdir -p "$rundir/config"
server_log="$rundir/demo-server.log"
"$root/$build/server/halvorn-demo-server" --listen 127.0.0.1 --port 0 >"$server_log" 2>&1 &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true; wait "$server_pid" 2>/dev/null || true' EXIT

port=
for _ in $(seq 1 100); do
  port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9][0-9]*\).*/\1/p' "$server_log" | head -n 1)
  [ -n "$port" ] && break
  kill -0 "$server_pid" 2>/dev/null || break
  sleep 0.1
done
if [ -z "$port" ]; then
  echo "The demo trade server did not start:" >&2
  cat "$server_log" >&2
  exit 1
fi

# Point the terminal at the demo server, keeping any remembered account.
ini="$rundir/config/ClientConfig.ini"
remembered=
[ -f "$ini" ] && remembered=$(sed -n '/^\[ClientID\]/,/^\[/p' "$ini" | grep -v '^\[TradeSrv\]' || true)
{
  printf '[TradeSrv]\nIP = 127.0.0.1\nPORT = %s\n\n' "$port"
  if [ -n "$remembered" ]; then printf '%s\n' "$remembered"; fi
} >"$ini"

echo "Demo trade server on 127.0.0.1:$port (log: $server_log)"
echo "Demo logins: 10001234 / 888888 (two shareholder accounts), 20005678 / 666666"
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: the terminal runs on Qt's offscreen platform (press Ctrl-C to stop)."
  export QT_QPA_PLATFORM=offscreen
fi
cd "$rundir"
"$root/$build/app/halvorn"

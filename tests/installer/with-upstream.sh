#!/usr/bin/env bash
# Runs a command with an upstream proxy (Debian's tinyproxy) on a free loopback port, which it names
# in VESTREL_TEST_UPSTREAM; the proxy is stopped by its PID when the command ends.
set -euo pipefail
port="$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')"
dir="$(mktemp -d)"
printf 'Port %s\nListen 127.0.0.1\nTimeout 60\nMaxClients 50\nAllow 127.0.0.1\nLogLevel Critical\n' "$port" \
    >"$dir/tinyproxy.conf"
tinyproxy -d -c "$dir/tinyproxy.conf" >"$dir/tinyproxy.log" 2>&1 &
pid=$!
trap 'kill "$pid" 2>/dev/null || true; wait "$pid" 2>/dev/null || true; rm -rf "$dir"' EXIT
for attempt in $(seq 1 50); do
    python3 -c "import socket; socket.create_connection(('127.0.0.1', $port), 1)" 2>/dev/null && break
    sleep 0.1
done
VESTREL_TEST_UPSTREAM="127.0.0.1:$port" "$@"

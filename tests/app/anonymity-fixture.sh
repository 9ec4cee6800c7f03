#!/usr/bin/env bash
# Starts and stops the peers of the whole-program anonymity tests (a CTest fixture): two tinyproxy
# upstreams that name themselves "first" and "second" in their Via header, an origin that echoes what
# reached it, and tools/list-service serving both proxies and an address where nothing listens.
# Their ports go to <state-dir>/peers (name=value lines) for the tests under Wine; each PID to
# <state-dir>/<name>.pid, by which it is stopped. A third tinyproxy, "third", is there to be stopped
# halfway through a test, and a fourth, "fourth", to be paused (SIGSTOP) and resumed, both through the
# small control server "control". The list "locations" serves the same three proxies
# as Canada, Brazil (nothing listens) and Canada <supports POST>, for the anonymity section's pages.
# "socks" is Dante's danted, a SOCKS5 server without a login leaving from 127.0.0.6, and the list
# service's plain list /lists/socks.txt names it as a public list would: socks5://127.0.0.1:<port>.
#   anonymity-fixture.sh start <state-dir> <source-dir> [locations]
#   anonymity-fixture.sh stop <state-dir>
set -euo pipefail

state=$2
source "$(dirname "${BASH_SOURCE[0]}")/../../script/lib/peers.sh"

stop_all() {
    stop_peer list-service list-service.py
    stop_peer origin echo_origin.py
    stop_peer first tinyproxy
    stop_peer second tinyproxy
    stop_peer third tinyproxy
    stop_peer fourth tinyproxy
    stop_peer control peer_control.py
    stop_peer socks danted
    rm -f "$state/peers"
}

start_peers() {
    source_dir=$3
    mkdir -p "$state"
    stop_all
    peers=()
    # Each leaves from a loopback address of its own, so that the judge in the list service tells it
    # from the program (127.0.0.1) and grades it Anonymous (its Via header): no question before use.
    exit_address=1
    for name in first second third fourth; do
        port=$(free_port)
        exit_address=$((exit_address + 1))
        cat >"$state/$name.conf" <<CONF
Port $port
Listen 127.0.0.1
Bind 127.0.0.$exit_address
Timeout 60
MaxClients 100
Allow 127.0.0.1
ViaProxyName "$name"
LogFile "$state/$name.log"
LogLevel Info
CONF
        : >"$state/$name.log"
        start_peer "$name" tinyproxy -d -c "$state/$name.conf"
        peers+=("$name=$port")
        eval "${name}_port=$port"
    done
    socks_port=$(free_port)
    cat >"$state/danted.conf" <<CONF
logoutput: $state/danted.log
internal: 127.0.0.1 port = $socks_port
external: 127.0.0.6
clientmethod: none
socksmethod: none
user.unprivileged: nobody
client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }
socks pass { from: 127.0.0.0/8 to: 0.0.0.0/0 command: connect }
CONF
    start_peer socks /usr/sbin/danted -f "$state/danted.conf" -N 1 -p "$state/socks.pid.danted"
    printf 'socks5://127.0.0.1:%s\n' "$socks_port" >"$state/socks.txt"
    origin_port=$(free_port)
    : >"$state/origin.log"
    start_peer origin python3 "$source_dir/tests/app/echo_origin.py" "$origin_port" "$state/origin.log"
    control_port=$(free_port)
    start_peer control python3 "$source_dir/tests/app/peer_control.py" "$control_port" "$state" third fourth
    dead_port=$(free_port)
    list_port=$(free_port)
    if [ "${4:-}" = locations ]; then
        pieces=("127.0.0.1:$first_port->Canada" "127.0.0.1:$dead_port->Brazil"
            "127.0.0.1:$second_port->Canada <supports POST>")
    else
        pieces=("127.0.0.1:$first_port->First" "127.0.0.1:$second_port->Second" "127.0.0.1:$dead_port->Nowhere")
    fi
    start_peer list-service python3 "$source_dir/tools/list-service/list-service.py" --port "$list_port" \
        --stall-seconds 40 --lifetime 1800 --plain-list "socks=$state/socks.txt" "${pieces[@]}"
    for port in "$first_port" "$second_port" "$third_port" "$fourth_port" "$origin_port" "$list_port" "$control_port" \
        "$socks_port"; do
        if ! wait_for_port "$port"; then
            echo "a peer did not start on port $port:" >&2
            tail -n 5 "$state"/*.out >&2
            stop_all
            exit 1
        fi
    done
    publish_peers "${peers[@]}" "origin=$origin_port" "dead=$dead_port" "list=$list_port" "control=$control_port" \
        "socks=$socks_port"
}

fixture_main "$@"

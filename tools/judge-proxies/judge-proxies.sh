#!/usr/bin/env bash
# Starts and stops the peers of the judge tests (a CTest fixture; script/run uses its pieces too):
# tools/list-service serving the judge over HTTP and HTTPS (a self-signed certificate made here) and a
# plain-text list, and one proxy of each grade, each leaving from a loopback address of its own so the
# judge can tell it from us (127.0.0.1):
#   elite        tinyproxy without Via, from 127.0.0.2, CONNECT allowed to the judge's HTTPS port
#   anonymous    tinyproxy with its Via header, from 127.0.0.3
#   transparent  squid with forwarded_for on (X-Forwarded-For: 127.0.0.1), from 127.0.0.4
#   nohttps      tinyproxy without Via, from 127.0.0.5, CONNECT allowed only to port 1
#   broken       tools/judge-proxies/scripted-proxy.py appending a <script> to every page, from 127.0.0.6
#   silent       a port that never answers a connect; dead a port where nothing listens
# The ports go to <state-dir>/peers as name=value lines (judge, judge_https, list and the names above);
# each PID to <state-dir>/<name>.pid, by which it is stopped.
#   judge-proxies.sh start <state-dir> <source-dir>
#   judge-proxies.sh stop <state-dir>
set -euo pipefail

state=$2
lifetime=${JUDGE_PROXIES_LIFETIME:-1800}
source "$(dirname "${BASH_SOURCE[0]}")/../../script/lib/peers.sh"

stop_all() {
    stop_peer list-service list-service.py
    stop_peer elite tinyproxy
    stop_peer anonymous tinyproxy
    stop_peer nohttps tinyproxy
    stop_peer transparent squid
    stop_peer broken scripted-proxy.py
    stop_peer silent scripted-proxy.py
    rm -f "$state/peers"
}

# tinyproxy_conf <name> <port> <bind address> <via: Yes to drop it> <CONNECT port>
tinyproxy_conf() {
    cat >"$state/$1.conf" <<CONF
Port $2
Listen 127.0.0.1
Bind $3
Timeout 60
MaxClients 200
Allow 127.0.0.1
ViaProxyName "$1"
DisableViaHeader $4
ConnectPort $5
LogFile "$state/$1.log"
LogLevel Info
CONF
    : >"$state/$1.log"
}

start_peers() {
    source_dir=$3
    mkdir -p "$state"
    stop_all
    if [ ! -s "$state/judge.pem" ] || [ ! -s "$state/judge.key" ]; then
        openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=127.0.0.1 \
            -keyout "$state/judge.key" -out "$state/judge.pem" >"$state/openssl.out" 2>&1
    fi
    rm -f "$state/judge.port" "$state/judge_https.port"
    for name in elite anonymous nohttps transparent broken silent dead; do
        eval "${name}_port=$(free_port)"
    done
    cat >"$state/plain.txt" <<LIST
# Local proxies of the judge tests
127.0.0.1:$elite_port
http://127.0.0.1:$anonymous_port
127.0.0.1:$elite_port

127.0.0.1:$transparent_port->Local
LIST
    start_peer list-service python3 "$source_dir/tools/list-service/list-service.py" --port 0 \
        --port-file "$state/judge.port" --https-port-file "$state/judge_https.port" \
        --cert "$state/judge.pem" --key "$state/judge.key" --plain-list "plain=$state/plain.txt" \
        --lifetime "$lifetime"
    for _ in $(seq 100); do
        [ -s "$state/judge.port" ] && break
        sleep 0.1
    done
    if [ ! -s "$state/judge.port" ] || [ ! -s "$state/judge_https.port" ]; then
        echo "the judge did not start:" >&2
        cat "$state/list-service.out" >&2
        stop_all
        exit 1
    fi
    judge_port=$(cat "$state/judge.port")
    judge_https_port=$(cat "$state/judge_https.port")

    tinyproxy_conf elite "$elite_port" 127.0.0.2 Yes "$judge_https_port"
    start_peer elite tinyproxy -d -c "$state/elite.conf"
    tinyproxy_conf anonymous "$anonymous_port" 127.0.0.3 No "$judge_https_port"
    start_peer anonymous tinyproxy -d -c "$state/anonymous.conf"
    tinyproxy_conf nohttps "$nohttps_port" 127.0.0.5 Yes 1
    start_peer nohttps tinyproxy -d -c "$state/nohttps.conf"

    # Squid: a private configuration, no cache, nothing outside the state folder.
    mkdir -p "$state/squid"
    cat >"$state/transparent.conf" <<CONF
http_port 127.0.0.1:$transparent_port
acl local src 127.0.0.1
http_access allow local
http_access deny all
forwarded_for on
tcp_outgoing_address 127.0.0.4
cache deny all
access_log none
cache_log $state/squid/cache.log
pid_filename $state/squid/squid.pid
coredump_dir $state/squid
shutdown_lifetime 0 seconds
CONF
    if [ "$(id -u)" -eq 0 ]; then
        # Squid refuses to run as root: it changes to an unprivileged user, who must own its folder.
        squid_user=proxy
        id "$squid_user" >/dev/null 2>&1 || squid_user=nobody
        echo "cache_effective_user $squid_user" >>"$state/transparent.conf"
        chown -R "$squid_user" "$state/squid"
    fi
    # A service name of its own keeps its shared memory apart from any other squid on the machine.
    start_peer transparent squid -N -n "vjudge$transparent_port" -f "$state/transparent.conf"

    start_peer broken python3 "$source_dir/tools/judge-proxies/scripted-proxy.py" inject "$broken_port" 127.0.0.6 \
        --lifetime "$lifetime"
    start_peer silent python3 "$source_dir/tools/judge-proxies/scripted-proxy.py" silent "$silent_port" \
        --lifetime "$lifetime"

    for port in "$judge_port" "$judge_https_port" "$elite_port" "$anonymous_port" "$nohttps_port" \
        "$transparent_port" "$broken_port"; do
        if ! wait_for_port "$port"; then
            echo "a peer did not start on port $port:" >&2
            tail -n 5 "$state"/*.out "$state/squid/cache.log" >&2 || true
            stop_all
            exit 1
        fi
    done
    peers=("judge=$judge_port" "judge_https=$judge_https_port" "list=$judge_port")
    for name in elite anonymous transparent nohttps broken silent dead; do
        eval "peers+=(\"$name=\$${name}_port\")"
    done
    publish_peers "${peers[@]}"
}

fixture_main "$@"

#!/usr/bin/env bash
# Starts and stops the peers of the judge tests (a CTest fixture; script/run uses its pieces too):
# tools/list-service serving our own judge and proxy lists in every format public lists use, over HTTP
# and over HTTPS with a certificate from a test CA made here (<state-dir>/test-ca.pem: a test that
# trusts it, as tests/support/TestCa.h does for the Wine prefix, gets its certificates checked for
# real); a real httpbin (Debian's python3-httpbin) behind tools/judge-proxies/judge-front.py, which
# adds its own X-Forwarded-For like the public httpbin's front end, over HTTP and HTTPS; and one proxy
# of each grade, each leaving from a loopback address of its own so the judge can tell it from us
# (127.0.0.1):
#   elite        tinyproxy without Via, from 127.0.0.2, CONNECT allowed to the judge's HTTPS port
#   anonymous    tinyproxy with its Via header, from 127.0.0.3
#   transparent  squid with forwarded_for on (X-Forwarded-For: 127.0.0.1), from 127.0.0.4
#   nohttps      tinyproxy without Via, from 127.0.0.5, CONNECT allowed only to port 1
#   broken       tools/judge-proxies/scripted-proxy.py appending a <script> to every page, from 127.0.0.6
#   socks5       microsocks without a login, from 127.0.0.7
#   socks4       danted speaking SOCKS4 only (it answers a SOCKS5 greeting, then refuses every
#                SOCKS5 request), from 127.0.0.8
#   silent       a port that never answers a connect; dead a port where nothing listens
# The lists are at /lists/<name>.txt of the list service (peers list and list_https), <name> one of
#   monosans-http   host:port and user:password@host:port, LF, no newline at the end
#   monosans-all    http:// socks4:// socks5:// prefixes       proxifly-data  http:// https:// socks5://
#   speedx-http     bare, CRLF, zero-padded octets, a duplicate
#   spys            the annotated form: header lines, "host:port CC-N-S! + ", a stray CR, a footer
#   monosans-json   monosans' proxies.json objects           proxifly-json  proxifly's data.json objects
# their proxies the fixture's own (the expected reading is in tests/catalogue/PublicListsTest.cpp).
# list_untrusted_https serves the same lists over HTTPS with a self-signed certificate.
# The ports go to <state-dir>/peers as name=value lines (judge, judge_https, list, list_https,
# list_untrusted_https, httpbin, httpbin_https and the names above); each PID to <state-dir>/<name>.pid, by which it is stopped.
# Start it by hand as the tests do:
#   tools/judge-proxies/judge-proxies.sh start /tmp/peers . && cat /tmp/peers/peers
#   judge-proxies.sh start <state-dir> <source-dir>
#   judge-proxies.sh stop <state-dir>
set -euo pipefail

state=$2
lifetime=${JUDGE_PROXIES_LIFETIME:-1800}
source "$(dirname "${BASH_SOURCE[0]}")/../../script/lib/peers.sh"

stop_all() {
    stop_peer list-service list-service.py
    stop_peer httpbin httpbin.core
    stop_peer judge-front judge-front.py
    stop_peer untrusted-front judge-front.py
    stop_peer elite tinyproxy
    stop_peer anonymous tinyproxy
    stop_peer nohttps tinyproxy
    stop_peer transparent squid
    stop_peer broken scripted-proxy.py
    stop_peer silent scripted-proxy.py
    stop_peer socks5 microsocks
    stop_peer socks4 danted
    rm -f "$state/peers"
}

# tinyproxy_conf <name> <port> <bind address> <via: Yes to drop it> <CONNECT port> [<CONNECT port>]
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
${6:+ConnectPort $6}
LogFile "$state/$1.log"
LogLevel Info
CONF
    : >"$state/$1.log"
}

# The test CA and the servers' certificate it signs, for 127.0.0.1 and localhost (as an address and as a
# name: Wine's crypt32 compares DNS names only).
make_certificates() {
    [ -s "$state/test-ca.pem" ] && [ -s "$state/judge.pem" ] && [ -s "$state/untrusted.pem" ] && return 0
    {
        openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/CN=Vestrel test CA" \
            -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
            -keyout "$state/test-ca.key" -out "$state/test-ca.pem"
        openssl req -newkey rsa:2048 -nodes -subj /CN=127.0.0.1 -keyout "$state/judge.key" -out "$state/judge.csr"
        printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=digitalSignature,keyEncipherment" \
            "extendedKeyUsage=serverAuth" "subjectAltName=DNS:127.0.0.1,DNS:localhost,IP:127.0.0.1" \
            >"$state/judge.ext"
        openssl x509 -req -in "$state/judge.csr" -CA "$state/test-ca.pem" -CAkey "$state/test-ca.key" \
            -CAcreateserial -days 30 -extfile "$state/judge.ext" -out "$state/judge.pem"
        # The same names, signed by nobody a client trusts.
        openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj /CN=127.0.0.1 \
            -addext "subjectAltName=DNS:127.0.0.1,DNS:localhost,IP:127.0.0.1" \
            -keyout "$state/untrusted.key" -out "$state/untrusted.pem"
    } >"$state/openssl.out" 2>&1
}

# The lists of every real format, with the fixture's proxies in them (see the top).
write_public_lists() {
    local lists=$state/lists e=127.0.0.1:$elite_port a=127.0.0.1:$anonymous_port t=127.0.0.1:$transparent_port
    local n=127.0.0.1:$nohttps_port b=127.0.0.1:$broken_port
    mkdir -p "$lists"
    printf '%s\n%s\n%s' "$e" "user:secret@$a" "$t" >"$lists/monosans-http.txt"
    printf '%s\n%s\n%s\n%s' "socks4://127.0.0.1:$dead_port" "http://$e" "socks5://$a" "http://$n" \
        >"$lists/monosans-all.txt"
    printf '%s\n' "http://$e" "https://$n" "socks5://$t" >"$lists/proxifly-data.txt"
    printf '%s\r\n' "127.000.000.001:$elite_port" "$e" "$b" >"$lists/speedx-http.txt"
    {
        printf '%s\n' "Proxy list (#2) updated at Fri, 24 Mar 23 07:58:01 +0300" \
            "Socks proxy=https://spys.me/socks.txt" "Support by donations:" "BTC bc1qexample" \
            "IP address:Port CountryCode-Anonymity(Noa/Anm/Hia)-SSL_support(S)-Google_passed(+)" ""
        printf '%s \n' "$t CO-N-S! +" "$a HK-A +" "$n -N -"
        printf '\r\nFree open HTTP/HTTPS(SSL) proxy list  - TXT format - updated hourly.'
    } >"$lists/spys.txt"
    cat >"$lists/monosans-json.txt" <<JSON
[{"protocol": "http", "username": null, "password": null, "host": "127.0.0.1", "port": $elite_port,
  "timeout": 0.2, "exit_ip": "127.0.0.2", "geolocation": {"country": {"iso_code": "DE", "names": {"en": "Germany"}}}},
 {"protocol": "socks5", "username": null, "password": null, "host": "127.0.0.1", "port": $anonymous_port},
 {"protocol": "http", "username": "user", "password": "secret", "host": "127.0.0.1", "port": $transparent_port}]
JSON
    cat >"$lists/proxifly-json.txt" <<JSON
[
  {"proxy": "http://$n", "protocol": "http", "ip": "127.0.0.1", "port": $nohttps_port, "https": true,
   "anonymity": "transparent", "score": 1, "geolocation": {"country": "ZZ", "city": "Unknown"}},
  {"proxy": "http://$b", "protocol": "http", "ip": "127.0.0.1", "port": $broken_port, "https": false,
   "anonymity": "elite", "score": 1, "geolocation": {"country": "NL", "city": "Amsterdam"}}
]
JSON
}

start_peers() {
    source_dir=$3
    mkdir -p "$state"
    stop_all
    make_certificates
    rm -f "$state/judge.port" "$state/judge_https.port" "$state/front.port" "$state/front_https.port" \
        "$state/untrusted.port" "$state/untrusted_https.port"
    for name in elite anonymous nohttps transparent broken socks5 socks4 silent dead; do
        eval "${name}_port=$(free_port)"
    done
    cat >"$state/plain.txt" <<LIST
# Local proxies of the judge tests
127.0.0.1:$elite_port
http://127.0.0.1:$anonymous_port
127.0.0.1:$elite_port

127.0.0.1:$transparent_port->Local
LIST
    write_public_lists
    local list_args=()
    for name in monosans-http monosans-all proxifly-data speedx-http spys monosans-json proxifly-json; do
        list_args+=(--plain-list "$name=$state/lists/$name.txt")
    done
    start_peer list-service python3 "$source_dir/tools/list-service/list-service.py" --port 0 \
        --port-file "$state/judge.port" --https-port-file "$state/judge_https.port" \
        --cert "$state/judge.pem" --key "$state/judge.key" --plain-list "plain=$state/plain.txt" \
        "${list_args[@]}" --lifetime "$lifetime"
    # httpbin needs Debian's own Werkzeug: Debian's Python, whatever python3 is first on the PATH.
    httpbin_port=$(free_port)
    start_peer httpbin /usr/bin/python3 -m httpbin.core --host 127.0.0.1 --port "$httpbin_port"
    start_peer judge-front python3 "$source_dir/tools/judge-proxies/judge-front.py" --backend-port "$httpbin_port" \
        --port-file "$state/front.port" --https-port-file "$state/front_https.port" \
        --cert "$state/judge.pem" --key "$state/judge.key" --lifetime "$lifetime"
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
    # The lists once more over HTTPS, behind a self-signed certificate: a client that checks refuses them.
    start_peer untrusted-front python3 "$source_dir/tools/judge-proxies/judge-front.py" --backend-port "$judge_port" \
        --port-file "$state/untrusted.port" --https-port-file "$state/untrusted_https.port" \
        --cert "$state/untrusted.pem" --key "$state/untrusted.key" --lifetime "$lifetime"
    for _ in $(seq 100); do
        [ -s "$state/front_https.port" ] && break
        sleep 0.1
    done
    front_port=$(cat "$state/front.port" 2>/dev/null || echo 0)
    front_https_port=$(cat "$state/front_https.port" 2>/dev/null || echo 0)
    for _ in $(seq 100); do
        [ -s "$state/untrusted_https.port" ] && break
        sleep 0.1
    done
    untrusted_https_port=$(cat "$state/untrusted_https.port" 2>/dev/null || echo 0)

    tinyproxy_conf elite "$elite_port" 127.0.0.2 Yes "$judge_https_port" "$front_https_port"
    start_peer elite tinyproxy -d -c "$state/elite.conf"
    tinyproxy_conf anonymous "$anonymous_port" 127.0.0.3 No "$judge_https_port" "$front_https_port"
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

    start_peer socks5 microsocks -i 127.0.0.1 -p "$socks5_port" -b 127.0.0.7
    cat >"$state/socks4.conf" <<CONF
logoutput: $state/socks4.log
internal: 127.0.0.1 port = $socks4_port
external: 127.0.0.8
clientmethod: none
socksmethod: none
user.unprivileged: nobody
client pass { from: 127.0.0.0/8 to: 0.0.0.0/0 }
socks pass {
    from: 127.0.0.0/8 to: 0.0.0.0/0
    command: connect
    proxyprotocol: socks_v4
}
CONF
    start_peer socks4 /usr/sbin/danted -f "$state/socks4.conf" -N 1 -p "$state/socks4.danted-pid"

    for port in "$judge_port" "$judge_https_port" "$httpbin_port" "$front_port" "$front_https_port" "$untrusted_https_port" "$elite_port" "$anonymous_port" "$nohttps_port" \
        "$transparent_port" "$broken_port" "$socks5_port" "$socks4_port"; do
        if ! wait_for_port "$port"; then
            echo "a peer did not start on port $port:" >&2
            tail -n 5 "$state"/*.out "$state/squid/cache.log" >&2 || true
            stop_all
            exit 1
        fi
    done
    peers=("judge=$judge_port" "judge_https=$judge_https_port" "list=$judge_port" "list_https=$judge_https_port"
        "httpbin=$front_port" "httpbin_https=$front_https_port" "list_untrusted_https=$untrusted_https_port")
    for name in elite anonymous transparent nohttps broken socks5 socks4 silent dead; do
        eval "peers+=(\"$name=\$${name}_port\")"
    done
    publish_peers "${peers[@]}"
}

fixture_main "$@"

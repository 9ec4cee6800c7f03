# Shared by the fixture scripts that start servers on loopback around the tests: free ports, waiting
# for a port to answer, and peers started detached and stopped by their PID file. The caller sets
# `state`, the folder of the peers' PID and output files.

free_port() {
    python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

# True once something accepts on 127.0.0.1:<port>; false after ten seconds.
wait_for_port() {
    local port=$1
    for _ in $(seq 100); do
        python3 -c "import socket,sys; s=socket.socket(); s.settimeout(0.2); sys.exit(s.connect_ex(('127.0.0.1', $port)))" && return 0
        sleep 0.1
    done
    return 1
}

# True while the process runs: a peer whose parent is gone may stay behind as a zombie until the
# system reaps it, and that one has ended.
peer_running() {
    [ -r "/proc/$1/stat" ] && ! sed 's/^.*) //' "/proc/$1/stat" | grep -q '^Z'
}

# stop_pid_file <pid file> <program>: ends the process the file names, but only while that PID still
# runs <program> (a PID left from an earlier run may belong to anything by now); removes the file.
stop_pid_file() {
    local file=$1 program=$2 pid
    [ -s "$file" ] || return 0
    pid=$(cat "$file")
    if [ -r "/proc/$pid/cmdline" ] && tr '\0' ' ' <"/proc/$pid/cmdline" | grep -q "$program"; then
        # A peer a test paused (SIGSTOP) takes its SIGTERM only once it runs again.
        kill -CONT "$pid" 2>/dev/null || true
        kill "$pid" 2>/dev/null || true
        for _ in $(seq 50); do
            peer_running "$pid" || break
            sleep 0.1
        done
        peer_running "$pid" && kill -9 "$pid" 2>/dev/null || true
    fi
    rm -f "$file"
}

# stop_peer <name> <program>: ends a peer that start_peer started.
stop_peer() {
    stop_pid_file "$state/$1.pid" "$2"
}

# start_peer <name> <command...>: output to <state>/<name>.out, PID to <state>/<name>.pid. Detached and
# with no tie to CTest's pipes, or CTest would wait for the peer's output to end.
start_peer() {
    local name=$1
    shift
    setsid "$@" </dev/null >"$state/$name.out" 2>&1 &
    echo $! >"$state/$name.pid"
}

# publish_peers <name=port>...: the peers file the tests read, one name=port a line; printed as well.
publish_peers() {
    printf '%s\n' "$@" >"$state/peers"
    cat "$state/peers"
}

# fixture_main "$@": the command line of a fixture script, which defines start_peers (given the
# script's arguments) and stop_all.
#   <script> start <state-dir> <source-dir> [...]
#   <script> stop <state-dir>
fixture_main() {
    case "${1:-}" in
    start) start_peers "$@" ;;
    stop) stop_all ;;
    *)
        echo "usage: $0 start <state-dir> <source-dir> | stop <state-dir>" >&2
        exit 2
        ;;
    esac
}

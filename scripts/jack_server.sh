# Sourced by the test scripts. `jack_server_start` starts a JACK server with the
# dummy driver unless one already answers, and sets JACK_SERVER_PID when it
# started one; `jack_server_stop` stops only a server started here.
export JACK_NO_START_SERVER=1

jack_server_running() {
    timeout 5 jack_lsp >/dev/null 2>&1
}

jack_server_start() {
    JACK_SERVER_PID=""
    if jack_server_running; then
        echo "jack: using the server that is already running"
        return 0
    fi
    local log="${TMPDIR:-/tmp}/tarnwell-jackd.log"
    local attempt
    for attempt in 1 2; do
        jackd -d dummy -r 48000 -p 256 >"$log" 2>&1 &
        JACK_SERVER_PID=$!
        for _ in $(seq 1 50); do
            if jack_server_running; then
                echo "jack: started dummy server, pid $JACK_SERVER_PID"
                return 0
            fi
            kill -0 "$JACK_SERVER_PID" 2>/dev/null || break
            sleep 0.1
        done
        kill "$JACK_SERVER_PID" 2>/dev/null || true
        wait "$JACK_SERVER_PID" 2>/dev/null || true
        JACK_SERVER_PID=""
        # Servers killed without a chance to clean up (SIGKILL, a lost
        # machine) leave their entries in JACK's shared-memory registry, and
        # after a few of them every new server is refused. With no jackd
        # running at all, those entries are stale: clear them once and retry.
        if [ "$attempt" -eq 1 ] && grep -q "Too many servers already active" "$log" &&
            ! grep -qsx jackd /proc/[0-9]*/comm; then
            echo "jack: clearing the registry left by servers that did not exit cleanly"
            rm -rf /dev/shm/jack-shm-registry /dev/shm/jack-[0-9]* /dev/shm/jack_* 2>/dev/null || true
            continue
        fi
        break
    done
    echo "jack: the server did not come up; see $log" >&2
    return 1
}

jack_server_stop() {
    if [ -n "${JACK_SERVER_PID:-}" ]; then
        kill "$JACK_SERVER_PID" 2>/dev/null || true
        wait "$JACK_SERVER_PID" 2>/dev/null || true
        JACK_SERVER_PID=""
    fi
}

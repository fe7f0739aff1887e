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
    jackd -d dummy -r 48000 -p 256 >"${TMPDIR:-/tmp}/tarnwell-jackd.log" 2>&1 &
    JACK_SERVER_PID=$!
    for _ in $(seq 1 50); do
        if jack_server_running; then
            echo "jack: started dummy server, pid $JACK_SERVER_PID"
            return 0
        fi
        sleep 0.1
    done
    echo "jack: the server did not come up; see ${TMPDIR:-/tmp}/tarnwell-jackd.log" >&2
    return 1
}

jack_server_stop() {
    if [ -n "${JACK_SERVER_PID:-}" ]; then
        kill "$JACK_SERVER_PID" 2>/dev/null || true
        wait "$JACK_SERVER_PID" 2>/dev/null || true
        JACK_SERVER_PID=""
    fi
}

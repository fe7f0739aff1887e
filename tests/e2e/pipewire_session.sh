#!/usr/bin/env bash
# Runs a command against a headless PipeWire of its own: a private
# XDG_RUNTIME_DIR (0700), its own D-Bus session, pipewire then wireplumber,
# and the command once PipeWire's JACK API answers. The command is run as it
# is; prefix it with pw-jack for JACK clients that should reach PipeWire.
# Exits 77 (a skip) with the reason when PipeWire is not installed or cannot
# start here; otherwise with the command's status.
# Usage: pipewire_session.sh command [args...]
set -euo pipefail

skip() {
    echo "SKIP: $*"
    exit 77
}

if [ "${1:-}" != "--inside" ]; then
    for tool in pipewire wireplumber pw-jack jack_lsp dbus-run-session; do
        command -v "$tool" >/dev/null 2>&1 ||
            skip "$tool is not installed (packages pipewire, pipewire-bin, pipewire-jack, wireplumber, jackd2, dbus-daemon)"
    done
    runtime=$(mktemp -d "${TMPDIR:-/tmp}/tarnwell-pipewire.XXXXXX")
    chmod 700 "$runtime"
    trap 'rm -rf "$runtime"' EXIT
    status=0
    XDG_RUNTIME_DIR="$runtime" dbus-run-session -- "$0" --inside "$@" || status=$?
    exit "$status"
fi
shift

log="$XDG_RUNTIME_DIR/pipewire.log"
# Nothing of the user's own sound setup may leak into this session.
unset PIPEWIRE_REMOTE JACK_DEFAULT_SERVER
export JACK_NO_START_SERVER=1
pipewire >"$log" 2>&1 &
pipewire_pid=$!
wireplumber >>"$log" 2>&1 &
wireplumber_pid=$!
stop() {
    kill "$wireplumber_pid" 2>/dev/null || true
    wait "$wireplumber_pid" 2>/dev/null || true
    kill "$pipewire_pid" 2>/dev/null || true
    wait "$pipewire_pid" 2>/dev/null || true
}
trap stop EXIT

ready=0
for _ in $(seq 1 100); do
    if ! kill -0 "$pipewire_pid" 2>/dev/null; then
        break
    fi
    if timeout 5 pw-jack jack_lsp >/dev/null 2>&1; then
        ready=1
        break
    fi
    sleep 0.1
done
if [ "$ready" -ne 1 ]; then
    echo "--- PipeWire's log:"
    cat "$log"
    skip "PipeWire did not start on this machine, or its JACK API did not answer within 10 s"
fi
# The session manager links and configures nodes once it has connected and
# published its default-nodes metadata.
managed=0
for _ in $(seq 1 300); do
    objects=$(timeout 5 pw-cli ls 2>/dev/null || true)
    if grep -q 'metadata.name = "default"' <<<"$objects" &&
        grep -q 'application.name = "WirePlumber \[export\]"' <<<"$objects"; then
        managed=1
        break
    fi
    sleep 0.1
done
[ "$managed" -eq 1 ] || skip "WirePlumber did not take charge of PipeWire within 30 s"
status=0
"$@" || status=$?
exit "$status"

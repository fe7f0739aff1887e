#!/usr/bin/env bash
# Inside a PipeWire session (pipewire_session.sh): starts the program offscreen
# WITHOUT pw-jack and with no JACK server to answer it, then checks through
# PipeWire's JACK graph that it reached PipeWire, connected its output to the
# one peer there, and connected again after the peer quit and came back.
# Usage: pipewire_panel_test.sh path/to/tarnwell
set -euo pipefail
panel="$1"
work=$(mktemp -d)
peer_pid=""
panel_pid=""
cleanup() {
    for pid in $panel_pid $peer_pid; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$work"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    echo "--- PipeWire's JACK graph:"
    pw-jack jack_lsp -c || true
    exit 1
}

# Polls `$@` every 0.1 s for up to $1 seconds.
wait_until() {
    local seconds=$1
    shift
    for _ in $(seq 1 $((seconds * 10))); do
        if "$@"; then
            return 0
        fi
        sleep 0.1
    done
    return 1
}

start_peer() {
    pw-jack stdbuf -oL jack_midi_dump >>"$work/peer.log" 2>&1 &
    peer_pid=$!
}
stop_peer() {
    kill "$peer_pid"
    wait "$peer_pid" 2>/dev/null || true
    peer_pid=""
}
port_listed() { pw-jack jack_lsp 2>/dev/null | grep -qx "$1"; }
connected() { pw-jack jack_lsp -c MidiClient:OutPort 2>/dev/null | grep -qx ' *midi-monitor:input'; }
not_connected() { ! connected; }

start_peer
wait_until 10 port_listed midi-monitor:input || fail "the peer's port did not appear"

# A JACK server of a name nobody runs: the system's JACK library finds no
# server, as on a desktop where only PipeWire runs.
HOME="$work" QT_QPA_PLATFORM=offscreen JACK_DEFAULT_SERVER="tarnwell-absent-$$" \
    "$panel" >"$work/panel.log" 2>&1 &
panel_pid=$!

# The output appears once the start-up screen has gone (1.5 s).
wait_until 30 port_listed MidiClient:OutPort ||
    fail "the panel's output never appeared in PipeWire's graph"
wait_until 20 connected || fail "the panel did not connect to the peer"
echo "the panel reached PipeWire and connected to midi-monitor:input"

stop_peer
wait_until 10 not_connected || fail "the connection outlived the peer"
start_peer
wait_until 20 connected || fail "the panel did not connect again when the peer came back"
echo "the panel followed the peer quitting and coming back"

kill -0 "$panel_pid" 2>/dev/null || fail "the panel exited: $(cat "$work/panel.log")"
echo "PASS"

#!/usr/bin/env bash
# Inside a PipeWire session (pipewire_session.sh): starts the program offscreen
# WITHOUT pw-jack and with no JACK server to answer it, then checks through
# PipeWire's JACK graph that it reached PipeWire, connected its output to the
# one peer there, and connected again after the peer quit and came back; and
# that a controller playing it (a python-rtmidi peer, chosen in the settings
# of an earlier run) reaches InPort and moves a mapped parameter.
# Usage: pipewire_panel_test.sh path/to/tarnwell
set -euo pipefail
panel="$1"
work=$(mktemp -d)
peer_pid=""
panel_pid=""
sender_pid=""
cleanup() {
    exec 3>&- 2>/dev/null || true
    for pid in $panel_pid $peer_pid $sender_pid; do
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

# Polls `$@` every 0.1 s for up to $1 seconds, times TARNWELL_TEST_TIME_SCALE.
wait_until() {
    local tenths
    tenths=$(awk -v s="$1" -v k="${TARNWELL_TEST_TIME_SCALE:-1}" \
        'BEGIN { if (k + 0 < 1) k = 1; printf "%d", s * k * 10 }')
    shift
    for _ in $(seq 1 "$tenths"); do
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

# The controller, chosen by name in an earlier run, with CC 74 moving
# parameter 4; it takes the messages to send on its standard input.
mkdir -p "$work/.config/Tarnwell"
printf '[controller]\ninput=tw-pw-knobs:output\n' >"$work/.config/Tarnwell/Tarnwell.conf"
cat >"$work/.config/Tarnwell/controller-mappings.json" <<'JSON'
{"format": "tarnwell-controller-mappings", "version": 1,
 "mappings": [{"control": "param/4", "source": "cc", "channel": 1, "number": 74,
               "pickup": "jump"}]}
JSON
mkfifo "$work/sender.in"
pw-jack /usr/bin/python3 "$(dirname "$0")/../support/midi_sender.py" tw-pw-knobs \
    <"$work/sender.in" >"$work/sender.log" 2>&1 &
sender_pid=$!
exec 3>"$work/sender.in"
wait_until 10 port_listed tw-pw-knobs:output || fail "the controller's port did not appear"

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

wired() { pw-jack jack_lsp -c MidiClient:InPort 2>/dev/null | grep -qx ' *tw-pw-knobs:output'; }
wait_until 20 wired || fail "the controller was not wired to MidiClient:InPort"
echo "b0 4a 7f" >&3
moved() { grep -q 'b0 63 00' "$work/peer.log" && grep -q 'b0 62 04' "$work/peer.log" &&
    grep -q 'b0 06 7f' "$work/peer.log" && grep -q 'b0 26 7f' "$work/peer.log"; }
wait_until 20 moved || fail "CC 74 did not reach the peer as NRPN 4 = 16383: $(cat "$work/peer.log")"
echo "the controller's CC 74 reached the peer as NRPN 4 through PipeWire"

stop_peer
wait_until 10 not_connected || fail "the connection outlived the peer"
start_peer
wait_until 20 connected || fail "the panel did not connect again when the peer came back"
echo "the panel followed the peer quitting and coming back"

kill -0 "$panel_pid" 2>/dev/null || fail "the panel exited: $(cat "$work/panel.log")"
echo "PASS"

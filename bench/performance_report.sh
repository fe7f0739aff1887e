#!/usr/bin/env bash
# Runs every benchmark and measurement program in bench/ and writes
# docs/performance.md with their figures, the machine and the JACK settings.
# Builds nothing: pass a release build tree, e.g.
#   scripts/build.sh build-release -DCMAKE_BUILD_TYPE=Release
#   bench/performance_report.sh build-release [seconds]
# `seconds` (default 10) is the length of each timed run. The JACK
# measurements run on a dummy-driver server of the report's own (48 kHz,
# period 256), started here and stopped at the end. The programs run with a
# HOME and settings folder of the report's own, so the user's settings are
# neither read nor written.
# BEFORE_BINARY, when set, is another build of the program (an older commit)
# whose wake-ups and CPU are measured beside this one's, interleaved, in
# WAKEUP_ROUNDS rounds (default 1); BEFORE_LABEL names it in the report
# (default: its path).
set -uo pipefail
cd "$(dirname "$0")/.."
build="${1:-}"
seconds="${2:-10}"
if [ -z "$build" ] || [ ! -d "$build/bench" ]; then
    echo "usage: bench/performance_report.sh BUILD_DIR [seconds]   (a built release tree)" >&2
    exit 2
fi
programs=(tarnwell_bench_midi tarnwell_bench_presets tarnwell_bench_physics
    tarnwell_bench_control tarnwell_measure_tick_rate tarnwell_measure_panel
    tarnwell_measure_physics_page tarnwell_measure_jack tarnwell_measure_hand_to_wire
    tarnwell_measure_controller tarnwell_measure_din_pacing tarnwell_jack_sink
    tarnwell_measure_morph libtarnwell_panel_probe.so)
for p in "${programs[@]}"; do
    if [ ! -e "$build/bench/$p" ]; then
        echo "performance_report: $build/bench/$p is missing; build it first" >&2
        exit 2
    fi
done
if [ ! -x "$build/src/ui/tarnwell" ]; then
    echo "performance_report: $build/src/ui/tarnwell is missing; build it first" >&2
    exit 2
fi
binaries=("$build/src/ui/tarnwell")
if [ -n "${BEFORE_BINARY:-}" ]; then
    binaries=("$BEFORE_BINARY" "${binaries[@]}")
fi

rate=48000
period=256
server="tarnwell-report-$$"
export JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER="$server"
jackd -n "$server" -d dummy -r "$rate" -p "$period" >"${TMPDIR:-/tmp}/$server.log" 2>&1 &
jack_pid=$!
work=$(mktemp -d)
trap 'kill "$jack_pid" 2>/dev/null; wait "$jack_pid" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 50); do
    timeout 5 jack_lsp >/dev/null 2>&1 && break
    sleep 0.1
done
if ! timeout 5 jack_lsp >/dev/null 2>&1; then
    echo "performance_report: the JACK server did not start; see ${TMPDIR:-/tmp}/$server.log" >&2
    exit 1
fi

# run NAME COMMAND...: runs one program, keeps its output as $work/NAME with
# the load average before and after it.
run() {
    local name=$1
    shift
    echo "== $name" >&2
    local before
    before=$(cut -d' ' -f1-3 /proc/loadavg)
    "$@" >"$work/$name" 2>&1
    local status=$?
    {
        echo "(exit status $status)"
        echo "(load average $before before, $(cut -d' ' -f1-3 /proc/loadavg) after)"
    } >>"$work/$name"
    grep -v -e "propagateSizeHints" -e "XDG_RUNTIME_DIR" "$work/$name" >"$work/$name.clean"
    mv "$work/$name.clean" "$work/$name"
}
mkdir -p "$work/home/.config"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR="$work"
bench_args=(--benchmark_repetitions=5 --benchmark_report_aggregates_only=true)
run send "$build/bench/tarnwell_bench_midi" "${bench_args[@]}"
run presets "$build/bench/tarnwell_bench_presets"
run physics "$build/bench/tarnwell_bench_physics" "${bench_args[@]}"
run control "$build/bench/tarnwell_bench_control" "${bench_args[@]}"
run tick env BUILD_DIR="$build" bench/measure_tick_rate.sh "$seconds"
run page env BUILD_DIR="$build" bench/measure_physics_page.sh "$seconds"
run panel "$build/bench/tarnwell_measure_panel" "$seconds"
run jack "$build/bench/tarnwell_measure_jack" 3000
run hand "$build/bench/tarnwell_measure_hand_to_wire" 500
# A minute of the 2,000 message/s flood, whatever the other runs' length.
run controller "$build/bench/tarnwell_measure_controller" 500 "$seconds" 60
run din "$build/bench/tarnwell_measure_din_pacing" "$seconds"
# Its own JACK server and Xvfb, the real program with the probe, 30 s a run.
run wakeups env BUILD_DIR="$build" bench/measure_wakeups.sh -s 30 -r "${WAKEUP_ROUNDS:-1}" \
    "${binaries[@]}"
run morph "$build/bench/tarnwell_measure_morph" 1

# first NAME PATTERN: the first line of NAME's output matching PATTERN.
first() { grep -m1 -E "$2" "$work/$1" | sed -E 's/[[:space:]]+/ /g; s/^ //'; }
cpu_of() { awk -v mode="$1" '$0 ~ "^== offscreen, " mode "$" {f=1; next} f && /^CPU/ {print $2; exit}' "$work/page"; }
# woke SCENARIO COLUMN: a column of the wake-up summary's row for this build.
woke() {
    awk -F'|' -v s="$1" -v c="$2" -v b="${#binaries[@]}" \
        '{gsub(/ /, "", $2); gsub(/ /, "", $3)} $2 == s && $3 == b {gsub(/^ +| +$/, "", $c); print $c; exit}' "$work/wakeups"
}
visible=$(cpu_of visible)
monitor=$(cpu_of monitor)
hidden=$(cpu_of hidden)
extra=$(awk -v a="${monitor%\%}" -v b="${visible%\%}" 'BEGIN { if (a != "" && b != "") printf "%+.2f", a - b }')

# morph_figure LINK PATTERN: the line matching PATTERN in the morph output's
# paragraph for LINK.
morph_figure() {
    awk -v link="$1" -v pattern="$2" '/ link, a / {f = index($0, link) == 1} f && $0 ~ pattern {sub(/^ +/, ""); print; exit}' "$work/morph"
}

section() {
    printf '\n### %s\n\n```text\n' "$1"
    cat "$work/$2"
    printf '```\n'
}

out=docs/performance.md
{
    echo "# Performance"
    echo
    echo "Written by \`bench/performance_report.sh $build $seconds\` on $(date -u '+%Y-%m-%d %H:%M UTC')"
    echo "from commit $(git rev-parse --short HEAD)$(git diff --quiet HEAD -- src bench || echo ' (with local changes)'); timed runs last $seconds s."
    echo
    echo "## Machine and JACK"
    echo
    echo "- $(nproc) cores: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), shared with other work while this ran (load average $(cut -d' ' -f1-3 /proc/loadavg))"
    echo "- $(uname -sr), Qt platform \`offscreen\` (the physics page also on Xvfb)"
    echo "- JACK: jackd2 $(jackd --version 2>/dev/null | grep -m1 -oE '[0-9]+\.[0-9]+\.[0-9]+' || echo '?'), dummy driver, $rate Hz, period $period frames ($(awk -v p=$period -v r=$rate 'BEGIN{printf "%.2f", 1000*p/r}') ms), a server of the report's own"
    echo
    echo "## Summary"
    echo
    echo "| figure | value |"
    echo "|---|---|"
    echo "| send path, encode + manager + loopback (CPU, median of 5) | $(first send '^BM_SendThroughLoopback_median' | awk '{print $4, $5}') |"
    echo "| the same with the MIDI monitor recording | $(first send '^BM_SendThroughLoopbackWithMonitor_median' | awk '{print $4, $5}') |"
    echo "| send path over JACK, CPU per sequence: ours / RtMidi's JACK output | $(first jack 'sendToConnected\)' | sed -E 's/.*: ([0-9.]+ ns).*/\1/') / $(first jack 'RtMidi JACK output \(encode' | sed -E 's/.*: ([0-9.]+ ns).*/\1/') |"
    echo "| unpaced 3,000-sequence burst at the project's lossless sink, whole sequences in order: ours / RtMidi | $(first jack 'JackMidiService \([0-9]+ per cycle\)' | awk '{print $NF}') / $(first jack '^ *RtMidi JACK output +[0-9]' | awk '{print $NF}') |"
    echo "| send-to-port latency p50 / p99: ours; RtMidi | $(first jack '^ *JackMidiService +[0-9]+\.' | awk '{print $2 " / " $3 " ms"}'); $(first jack '^ *RtMidi JACK output +[0-9]+\.[0-9]+ +[0-9]+\.[0-9]+ +[0-9]+\.[0-9]+$' | awk '{print $4 " / " $5 " ms"}') |"
    echo "| 60 Hz tick | $(first tick 'mean tick rate'); $(first tick 'tick interval') |"
    echo "| panel CPU, 5 balls, physics page shown / hidden | $visible / $hidden of one core |"
    echo "| the same, page shown with the MIDI monitor open | $monitor ($extra points over shown) |"
    echo "| start-up | $(first panel 'process start') |"
    echo "| memory | $(first panel 'resident memory') |"
    echo "| anonymous resident memory of the real program 2 s after its window is up | $(woke idle 8) MiB |"
    echo "| idle | $(first panel 'idle CPU') |"
    echo "| the program's own wake-ups a second (JACK's process thread apart): idle / idle with the monitor open | $(woke idle 4) / $(woke idle-monitor 4) |"
    echo "| the same with five balls: page shown / hidden / shown with the monitor open | $(woke shown 4) / $(woke hidden 4) / $(woke monitor 4) |"
    echo "| real program on Xvfb with JACK, CPU with five balls: page shown / hidden / shown with the monitor open | $(woke shown 6)% / $(woke hidden 6)% / $(woke monitor 6)% of one core |"
    echo "| hand-to-wire (key press to JACK input port) | $(first hand 'hand-to-wire') |"
    echo "| controller-to-wire (CC at a JACK output port to NRPN at a JACK input port) | $(first controller 'controller-to-wire') |"
    echo "| controller stream of 1,000 messages/s, CPU | $(first controller '^stream of') |"
    echo "| the same, over the idle panel | $(first controller 'the stream costs') |"
    echo "| a minute of 2,000 messages/s | $(first controller 'during the flood') |"
    echo "| after it, idle | $(first controller 'after the flood') |"
    echo "| controller engine, a 1,000 message/s stream through ring, parser, mappings and frames (CPU, median of 5) | $(first control '^BM_ControllerStream_median' | awk '{print $4, $5}') |"
    echo "| DIN pacing, busiest 100 ms at the port | $(first din 'busiest 100 ms') |"
    echo "| DIN pacing, hand edits during the stream | $(first din 'hand edits') |"
    echo "| DIN pacing, hand edits that did not arrive | $(first din 'replaced in the pacer' | sed 's/^ *//') |"
    echo "| morph drag A to B, 42 parameters, Software/USB: sequences a second; most sends of one parameter in a 60 Hz frame | $(morph_figure 'Software/USB' 'sequences sent' | sed -E 's/.*, ([0-9]+ a second)/\1/'); $(morph_figure 'Software/USB' 'within one 60 Hz frame' | awk '{print $NF}') |"
    echo "| the same drag, window frame (paint pass) p50 / p99 / max | $(morph_figure 'Software/USB' 'window frame' | sed -E 's/.*: p50 //; s/, p99 / \/ /; s/, max / \/ /') |"
    echo "| the same drag on a paced DIN link: sequences a second; the wire ends on B | $(morph_figure 'DIN' 'sequences sent' | sed -E 's/.*, ([0-9]+ a second)/\1/'); $(morph_figure 'DIN' 'ends on B' | awk '{print $NF}') |"
    echo
    if [ ${#binaries[@]} -gt 1 ]; then
        echo "Beside ${BEFORE_LABEL:-\`$BEFORE_BINARY\`} (binary 1; this build is binary 2), interleaved on"
        echo "the same X server, JACK server and load:"
        echo
        grep '^|' "$work/wakeups"
        echo
    fi
    echo "Which figures depend on the machine's load: start-up, the tick interval's p99"
    echo "and maximum, the latencies, the hand edits' latency and every CPU share rise"
    echo "with other work on the machine (each section below gives the load average"
    echo "before and after it ran, the summary above the load while this report ran)."
    echo "Counts do not: sequences delivered and whole, wake-ups of idle threads, the"
    echo "bytes in the busiest 100 ms handed to JACK. A hand edit \"replaced in the pacer\""
    echo "was sent together with the next edit of its control, because the measuring"
    echo "loop stalled past its time; the pacer keeps a control's latest value, so the"
    echo "synthesizer ends where the hand left it."
    echo "Reading the DIN figures: the pacer hands JACK at most one 12-byte sequence per"
    echo "4.27 ms (2,812 bytes/s, nine tenths of the cable's 3,125), two back to back only"
    echo "when its timer came late. JACK delivers each period's events together at the"
    echo "period's start, so a 100 ms window at the receiving port can hold a period's"
    echo "worth more than one at the sender; the tenth of headroom keeps both within the"
    echo "budget. The long-run rate at the port is the \"delivered\" line."
    echo
    echo "Reading the morph figures: a 1000 Hz pointer drags the morph slider from A to B"
    echo "in one second. The panel is set at most once per 17 ms frame, counted from the"
    echo "end of its sends, with the latest position; so each of the 42 parameters is sent"
    echo "at most once a frame and the position at the release is the last one sent. On a"
    echo "paced DIN link the pacer keeps the latest value of each parameter: the wire runs"
    echo "at the link's budget and, once the backlog has left, ends on B. The window"
    echo "repaints per pointer move offscreen (no display refresh to wait for), so its"
    echo "paint passes outnumber the frames the morph sends."
    echo
    echo "## Every program's output"
    section "Send path: bench/midi_bench.cpp" send
    section "Presets: bench/preset_bench.cpp" presets
    section "Physics tick: bench/physics_tick_bench.cpp" physics
    section "60 Hz tick on a Qt event loop: bench/measure_tick_rate.sh" tick
    section "Panel CPU with five balls: bench/measure_physics_page.sh" page
    section "Start-up, memory, idle CPU: bench/measure_panel.cpp" panel
    section "Over JACK, ours beside RtMidi and python-rtmidi: bench/jack_measure.cpp" jack
    section "Hand-to-wire latency: bench/measure_hand_to_wire.cpp" hand
    section "A hardware controller over JACK: bench/measure_controller.cpp" controller
    section "Controller engine: bench/control_bench.cpp" control
    section "DIN pacing with five balls: bench/measure_din_pacing.cpp" din
    section "Wake-ups and CPU per thread of the real program: bench/measure_wakeups.sh" wakeups
    section "A morph drag from A to B: bench/measure_morph.cpp" morph
} >"$out"
echo "wrote $out" >&2

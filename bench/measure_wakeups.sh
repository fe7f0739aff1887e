#!/usr/bin/env bash
# Per-thread wake-ups and CPU of the real program, measured from inside it by
# the probe (bench/panel_probe.cpp, loaded with LD_PRELOAD), on one Xvfb and
# one JACK server of this script's own (dummy driver, 48 kHz, period 256) with
# the project's lossless sink as the destination. With several binaries (an
# older build beside this one) the runs are interleaved: every scenario of a
# round runs each binary in turn, on the same X server, JACK server and load.
#
# Usage: bench/measure_wakeups.sh [-s seconds] [-r rounds] [-c "scenarios"] BINARY...
#   seconds    measured period of each run (default 30)
#   rounds     how many times every scenario runs per binary (default 1)
#   scenarios  default "idle idle-monitor shown hidden hidden-undriven monitor" (see the probe)
# BUILD_DIR is the build tree holding the probe and the sink (default: build).
# Each run gets a fresh HOME and settings folder. Prints every run's thread
# table, then a summary with the mean of the rounds, the load average beside
# each run.
set -uo pipefail
cd "$(dirname "$0")/.."
seconds=30
rounds=1
scenarios="idle idle-monitor shown hidden hidden-undriven monitor"
while getopts "s:r:c:" option; do
    case $option in
        s) seconds=$OPTARG ;;
        r) rounds=$OPTARG ;;
        c) scenarios=$OPTARG ;;
        *) exit 2 ;;
    esac
done
shift $((OPTIND - 1))
build="${BUILD_DIR:-build}"
probe="$(realpath "$build/bench/libtarnwell_panel_probe.so" 2>/dev/null)"
sink="$build/bench/tarnwell_jack_sink"
if [ $# -eq 0 ] || [ ! -f "$probe" ] || [ ! -x "$sink" ]; then
    echo "usage: bench/measure_wakeups.sh [-s seconds] [-r rounds] [-c scenarios] BINARY..." >&2
    echo "(needs $build/bench/libtarnwell_panel_probe.so and tarnwell_jack_sink: build them)" >&2
    exit 2
fi
binaries=("$@")

work=$(mktemp -d)
server="tarnwell-wakeups-$$"
export JACK_NO_START_SERVER=1 JACK_DEFAULT_SERVER="$server"
jackd -n "$server" -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jack_pid=$!
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
x_pid=$!
cleanup() {
    kill "$jack_pid" "$x_pid" 2>/dev/null
    wait "$jack_pid" "$x_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 1 100); do
    [ -s "$work/display" ] && timeout 5 jack_lsp >/dev/null 2>&1 && break
    sleep 0.1
done
if ! timeout 5 jack_lsp >/dev/null 2>&1 || [ ! -s "$work/display" ]; then
    echo "measure_wakeups: the JACK server or Xvfb did not start" >&2
    exit 1
fi
export DISPLAY=":$(cat "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work"
unset QT_LINUX_ACCESSIBILITY_ALWAYS_ON

# run BINARY_INDEX SCENARIO: one run; appends its summary line to $work/results.
run() {
    local index=$1 scenario=$2 exe=${binaries[$1]}
    local home="$work/home-$index-$scenario"
    rm -rf "$home" && mkdir -p "$home"
    "$sink" >"$work/sink" 2>&1 &
    local sink_pid=$!
    for _ in $(seq 1 50); do
        grep -q ready "$work/sink" && break
        sleep 0.1
    done
    local load
    load=$(cut -d' ' -f1 /proc/loadavg)
    local start=$SECONDS
    HOME="$home" XDG_CONFIG_HOME="$home/.config" TARNWELL_PROBE="$scenario" \
        TARNWELL_PROBE_SECONDS="$seconds" TARNWELL_PROBE_OUTPUT="$work/probe" \
        LD_PRELOAD="$probe" timeout $((seconds + 90)) "$exe" >"$work/program" 2>&1
    local status=$?
    local span=$((SECONDS - start))
    kill -TERM "$sink_pid" 2>/dev/null
    wait "$sink_pid" 2>/dev/null
    local events
    events=$(sed -n 's/^events \([0-9]*\).*/\1/p' "$work/sink")
    echo "== $exe: $scenario (load average $load before, $(cut -d' ' -f1 /proc/loadavg) after)"
    if [ -s "$work/probe" ]; then
        grep -v '^probe:' "$work/probe"
    else
        echo "  no figures (exit status $status)"
        tail -5 "$work/program" | sed 's/^/  /'
    fi
    echo "  the sink received ${events:-0} events in the run's ${span} s"
    local line
    line=$(grep '^probe:' "$work/probe" 2>/dev/null | tail -1)
    echo "$index $scenario $load ${events:-0} $span $line" >>"$work/results"
    rm -f "$work/probe"
}

for round in $(seq 1 "$rounds"); do
    for scenario in $scenarios; do
        for index in "${!binaries[@]}"; do
            run "$index" "$scenario"
        done
    done
done

echo
echo "Summary: means over $rounds round(s) of ${seconds} s; own threads are all but JACK's process thread."
for index in "${!binaries[@]}"; do
    echo "  binary $((index + 1)): ${binaries[$index]}"
done
echo
awk -v n="${#binaries[@]}" -v order="$scenarios" '
function value(line, key,    m) {
    if (match(line, key "=[0-9.]+")) { m = substr(line, RSTART, RLENGTH); sub(/.*=/, "", m); return m }
    return ""
}
{
    index_ = $1; scenario = $2; load = $3
    line = $0
    if (line ~ /failed:/) { failed[index_, scenario] = 1; next }
    w = value(line, "own_wakeups"); if (w == "") { failed[index_, scenario] = 1; next }
    runs[index_, scenario]++
    own[index_, scenario] += w
    jack[index_, scenario] += value(line, "jack_wakeups")
    cpu[index_, scenario] += value(line, "process_cpu")
    owncpu[index_, scenario] += value(line, "own_cpu")
    anon[index_, scenario] += value(line, "rss_anon_kib") / 1024
    loads[index_, scenario] = loads[index_, scenario] (loads[index_, scenario] == "" ? "" : " ") load
}
END {
    printf "| scenario | binary | own wake-ups/s | JACK thread wake-ups/s | process CPU %% | own threads CPU %% | anonymous RSS MiB | load averages |\n"
    printf "|---|---|---|---|---|---|---|---|\n"
    count = split(order, names, " ")
    for (s = 1; s <= count; s++) {
        for (i = 0; i < n; i++) {
            k = runs[i, names[s]]
            if (k == 0) {
                printf "| %s | %d | - | - | - | - | - | %s |\n", names[s], i + 1, (failed[i, names[s]] ? "not available" : "")
                continue
            }
            printf "| %s | %d | %.1f | %.1f | %.2f | %.2f | %.1f | %s |\n", names[s], i + 1, own[i, names[s]] / k,
                jack[i, names[s]] / k, cpu[i, names[s]] / k, owncpu[i, names[s]] / k, anon[i, names[s]] / k, loads[i, names[s]]
        }
        if (n == 2 && runs[0, names[s]] > 0 && runs[1, names[s]] > 0 && cpu[0, names[s]] > 0) {
            printf "| %s | 2 / 1 | | | %.2f | | | |\n", names[s],
                (cpu[1, names[s]] / runs[1, names[s]]) / (cpu[0, names[s]] / runs[0, names[s]])
        }
    }
}' "$work/results"

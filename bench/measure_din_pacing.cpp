// DIN pacing with five balls over the running JACK server: the balls' 300
// sequences a second and a hand edit every 100 ms go to a JACK input port in
// this process through a link marked DIN with pacing on. Prints, as the
// port saw it: the most bytes in any 100 ms, the mean rate, whether every
// sequence arrived whole, and the hand edits' latency from send to arrival.
//
// Usage: tarnwell_measure_din_pacing [seconds]   (default 10)
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

#include "core/midi/jack_service.hpp"
#include "core/midi/midi_manager.hpp"
#include "testing/din_stream.hpp"

namespace {

using namespace tarnwell;
using namespace tarnwell::test;

double percentile(std::vector<double> v, double p) {
    std::ranges::sort(v);
    return v[static_cast<std::size_t>(std::floor(p * static_cast<double>(v.size() - 1)))];
}

}  // namespace

int main(int argc, char** argv) {
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 10;
    setenv("JACK_NO_START_SERVER", "1", 1);
    JackSink sink;
    if (!sink.ok()) {
        std::fprintf(stderr, "no JACK server answers\n");
        return 2;
    }
    ManualQueue queue;
    auto manager = MidiManager::create(std::make_shared<JackMidiService>(), queue);
    LinkChoices choices;
    choices.speeds[JackSink::kPort] = LinkSpeed::din;
    choices.dinPacing = true;
    manager->setLinkChoices(choices);
    if (!pumpUntil(
            queue,
            [&] { return std::ranges::count(manager->destinations(), JackSink::kPort) == 1; },
            10s)) {
        std::fprintf(stderr, "the sink's port was never listed\n");
        return 2;
    }
    const auto& names = manager->destinations();
    manager->connectToDestination(std::ranges::find(names, JackSink::kPort) - names.begin());
    queue.runPending();

    const DinStreamResult r = runDinStream(queue, *manager, sink, std::chrono::seconds(seconds));
    if (r.arrivals.size() < 2) {
        std::fprintf(stderr, "nothing arrived\n");
        return 1;
    }
    const double span = static_cast<double>(r.arrivals.back().at - r.arrivals.front().at) / 1e6;
    std::vector<double> hands;
    int lost = 0;
    int replaced = 0;
    int mostAhead = 0;
    for (std::size_t i = 0; i < r.handLatencyUs.size(); ++i) {
        if (r.handLatencyUs[i] < 0) {
            ++(r.handHandedOver[i] ? lost : replaced);
        } else {
            hands.push_back(r.handLatencyUs[i] / 1000.0);
        }
        mostAhead = std::max(mostAhead, r.ballsAheadOfHand[i]);
    }
    std::printf(
        "offered             %zu sequences in %d s (5 balls at 60 Hz, a hand edit every "
        "100 ms)\n",
        r.offered, seconds);
    std::printf("delivered           %zu sequences, %.0f bytes/s over %.2f s (budget %lld)\n",
                r.arrivals.size(), static_cast<double>(r.arrivals.size() * 12) / span, span,
                static_cast<long long>(kDinBytesPerSecond));
    std::printf(
        "busiest 100 ms      %zu bytes at the port, %zu bytes handed to JACK (312.5 "
        "is the budget)\n",
        r.maxBytesIn100ms, r.maxBytesSentIn100ms);
    std::printf("whole sequences     %s\n", r.wellFormed ? "yes, none split" : "NO");
    if (!hands.empty()) {
        const double p99 = percentile(hands, 0.99);
        std::printf(
            "hand edits          %zu arrived, %d lost; latency p50 %.2f ms, p99 %.2f ms, "
            "max %.2f ms; at most %d ball values got ahead\n",
            hands.size(), lost, percentile(hands, 0.5), p99, percentile(hands, 1.0), mostAhead);
        std::printf(
            "                    %d replaced in the pacer by the next edit of their control "
            "(sent together when this program's loop stalled), %d lost after JACK took them\n",
            replaced, lost);
        std::printf("goal                hand edit p99 within 20 ms: %s\n",
                    p99 <= 20.0 ? "met" : "MISSED");
    }
    return r.wellFormed && lost == 0 ? 0 : 1;
}

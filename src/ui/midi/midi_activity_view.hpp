#pragma once

#include <chrono>
#include <memory>

#include <QTimer>
#include <QWidget>

#include "core/base/signal.hpp"
#include "core/base/time_source.hpp"
#include "core/midi/traffic_meter.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;

namespace tarnwell {

class MidiManager;

// The status bar's view of outgoing MIDI: a light that is lit while
// sequences go out, messages and bytes a second, the load against a DIN
// link's 3,125 bytes a second, and the link choice for the connected
// destination with DIN pacing. It samples the manager's count on a timer,
// so the send path only counts.
class MidiActivityView : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kSampleInterval{100};

    explicit MidiActivityView(std::shared_ptr<MidiManager> manager,
                              const TimeSource& clock = steadyTime(), QWidget* parent = nullptr);

    [[nodiscard]] QLabel* light() const { return light_; }
    [[nodiscard]] QLabel* rates() const { return rates_; }
    [[nodiscard]] QProgressBar* loadMeter() const { return load_; }
    [[nodiscard]] QComboBox* linkPicker() const { return link_; }
    [[nodiscard]] QCheckBox* pacing() const { return pacing_; }
    // Takes one sample and shows it; the timer calls it.
    void sample();

private:
    void showLink();
    void chooseLink(int index);
    void choosePacing(bool on);

    std::shared_ptr<MidiManager> manager_;
    const TimeSource& clock_;
    TrafficMeter meter_;
    QTimer timer_;
    QLabel* light_ = nullptr;
    QLabel* rates_ = nullptr;
    QProgressBar* load_ = nullptr;
    QComboBox* link_ = nullptr;
    QCheckBox* pacing_ = nullptr;
    bool lit_ = false;
    bool over_ = false;
    Connection connection_;
};

}  // namespace tarnwell

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

// The light of the status bar's MIDI activity: a disc, green while sequences
// go out, gray otherwise. Painted, so lighting it is one repaint.
class ActivityLight : public QWidget {
    Q_OBJECT
public:
    explicit ActivityLight(QWidget* parent = nullptr);
    void setLit(bool lit);
    [[nodiscard]] bool isLit() const { return lit_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool lit_ = false;
};

// The status bar's view of outgoing MIDI: a light that is lit while
// sequences go out, messages and bytes a second, the load against a DIN
// link's 3,125 bytes a second, and the link choice for the connected
// destination with DIN pacing.
//
// Cost: it samples the manager's running count of sequences, so the send path
// only counts. It samples only while traffic moves and it is on screen: every
// `kSampleInterval` while the shown figures change, every
// `kSteadySampleInterval` once they have held still for a second (a steady
// stream such as the balls'), until the meter has seen a whole quiet window
// and shows zero; then it sleeps until the next send wakes it through a
// SendWatch, which also lights the light at once. Hidden or minimised, it
// neither samples nor listens. The figures change on screen
// only by a visible step, since every change of the load bar repaints it at
// once.
class MidiActivityView : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kSampleInterval{250};
    static constexpr std::chrono::milliseconds kSteadySampleInterval{1000};
    // The shown rate follows the measured one when they differ by more than
    // this share of the shown one, or when either is zero.
    static constexpr double kVisibleStep = 0.03;

    // `manager` and `meter` must outlive the view.
    MidiActivityView(std::shared_ptr<MidiManager> manager, TrafficMeter& meter,
                     const TimeSource& clock = steadyTime(), QWidget* parent = nullptr);

    [[nodiscard]] ActivityLight* light() const { return light_; }
    [[nodiscard]] QLabel* rates() const { return rates_; }
    [[nodiscard]] QProgressBar* loadMeter() const { return load_; }
    [[nodiscard]] QComboBox* linkPicker() const { return link_; }
    [[nodiscard]] QCheckBox* pacing() const { return pacing_; }
    // Whether its sampling timer runs.
    [[nodiscard]] bool isSampling() const { return timer_.isActive(); }
    [[nodiscard]] std::chrono::milliseconds sampleInterval() const {
        return std::chrono::milliseconds(timer_.interval());
    }
    // Whether it waits for the next send to wake it.
    [[nodiscard]] bool isWatching() const { return watch_.isArmed(); }
    // Takes one sample and shows it; the timer calls it. Stops sampling once
    // the meter is quiet.
    void sample();

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void startSampling();
    void sleep();
    // Whether the shown rate changed.
    bool showRate(double sequencesPerSecond);
    void showOverBudget(bool over);
    void showLink();
    void chooseLink(int index);
    void choosePacing(bool on);

    std::shared_ptr<MidiManager> manager_;
    TrafficMeter& meter_;
    const TimeSource& clock_;
    SendWatch watch_;
    QTimer timer_;
    bool onScreen_ = false;
    int stillSamples_ = 0;  // samples in a row that changed nothing shown
    double shownRate_ = 0.0;
    bool over_ = false;
    ActivityLight* light_ = nullptr;
    QLabel* rates_ = nullptr;
    QProgressBar* load_ = nullptr;
    QComboBox* link_ = nullptr;
    QCheckBox* pacing_ = nullptr;
    Connection connection_;
};

}  // namespace tarnwell

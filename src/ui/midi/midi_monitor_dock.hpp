#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>

#include <QDockWidget>
#include <QTimer>

#include "core/midi/monitor_feed.hpp"

class QLabel;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace tarnwell {

class MidiManager;

// The outgoing-MIDI monitor: one line per sequence, a stream of one
// parameter folded into one live line (latest value, count, rate) whose
// recent sequences show when it is expanded. Newest at the bottom.
//
// It listens to the manager only while it is open and not paused, so a
// closed monitor costs the send path nothing; the lines are brought up to
// date by a timer, at most `kRepaintInterval` apart, never per send.
class MidiMonitorDock : public QDockWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kRepaintInterval{50};

    explicit MidiMonitorDock(QWidget* parent = nullptr, MonitorFeed::Limits limits = {});
    ~MidiMonitorDock() override;

    // The manager whose sends are shown; may be set once it exists.
    void setMidiManager(std::shared_ptr<MidiManager> manager);

    [[nodiscard]] bool isListening() const { return listening_; }
    [[nodiscard]] const MonitorFeed& feed() const { return feed_; }
    [[nodiscard]] QTreeWidget* lines() const { return tree_; }
    // All lines as plain text, as "Copy" puts them on the clipboard.
    [[nodiscard]] QString text() const;
    // Brings the lines up to date with what was sent; the timer calls it.
    void refresh();
    // Says that `lost` messages of the hardware controller were lost on the
    // way in (its queue was full); hidden while none were.
    void showInputLoss(std::uint64_t lost);
    [[nodiscard]] QLabel* inputLossText() const { return inputLoss_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateListening();
    void clearLines();
    void showLine(QTreeWidgetItem* item, const MonitorRow& row) const;
    void showRecent(QTreeWidgetItem* item);

    std::shared_ptr<MidiManager> manager_;
    MonitorFeed feed_;
    bool listening_ = false;
    QTreeWidget* tree_ = nullptr;
    QPushButton* pause_ = nullptr;
    QLabel* inputLoss_ = nullptr;
    QTimer repaint_;
    std::uint64_t shownVersion_ = 0;
    std::map<std::uint64_t, QTreeWidgetItem*> items_;  // by row id
};

}  // namespace tarnwell

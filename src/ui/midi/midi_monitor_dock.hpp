#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <memory>

#include <QDockWidget>
#include <QElapsedTimer>
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
// It records into its feed only while it is open and not paused, so a
// closed monitor costs the send path nothing. The lines follow the feed only
// when its rows changed and only while the dock is on screen (not while its
// window is minimised): at most one refresh a `kRepaintInterval`, at once for
// a change after a quiet spell, and drawn with the balls' frame when a tick
// made the change. With nothing sent it does not wake at all.
class MidiMonitorDock : public QDockWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kRepaintInterval{250};
    // How long after the interval the last change of a stream waits for a
    // later one to carry it (longer than a tick).
    static constexpr std::chrono::milliseconds kLastChangeDelay{40};

    explicit MidiMonitorDock(QWidget* parent = nullptr);
    ~MidiMonitorDock() override;

    // Shows the sends of `manager` as recorded in `feed`, which the monitor
    // attaches to the manager while it listens. Both must outlive the dock;
    // may be set once they exist.
    void setSource(std::shared_ptr<MidiManager> manager, MonitorFeed& feed);

    [[nodiscard]] bool isListening() const { return listening_; }
    // Null until a source is set.
    [[nodiscard]] const MonitorFeed* feed() const { return feed_; }
    [[nodiscard]] QTreeWidget* lines() const { return tree_; }
    // All lines as plain text, as "Copy" puts them on the clipboard.
    [[nodiscard]] QString text() const;
    // Brings the lines up to date with what was sent; the refresh timer calls it.
    void refresh();
    // Whether a refresh is armed.
    [[nodiscard]] bool isRefreshPending() const { return refreshQueued_ || repaint_.isActive(); }
    // Says that `lost` messages of the hardware controller were lost on the
    // way in (its queue was full); hidden while none were.
    void showInputLoss(std::uint64_t lost);
    [[nodiscard]] QLabel* inputLossText() const { return inputLoss_; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void updateListening();
    void scheduleRefresh();
    void clearLines();
    void showLine(QTreeWidgetItem* item, const MonitorRow& row) const;
    void showRecent(QTreeWidgetItem* item);

    std::shared_ptr<MidiManager> manager_;
    MonitorFeed* feed_ = nullptr;
    bool listening_ = false;
    bool onScreen_ = false;
    bool refreshQueued_ = false;
    QElapsedTimer sinceRefresh_;
    QTreeWidget* tree_ = nullptr;
    QPushButton* pause_ = nullptr;
    QLabel* inputLoss_ = nullptr;
    QTimer repaint_;
    std::uint64_t shownVersion_ = 0;
    std::map<std::uint64_t, QTreeWidgetItem*> items_;  // by row id
};

}  // namespace tarnwell

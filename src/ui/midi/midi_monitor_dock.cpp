#include "ui/midi/midi_monitor_dock.hpp"

#include <utility>

#include <QClipboard>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "core/midi/midi_manager.hpp"
#include "core/panel/nrpn_names.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

enum Column { kTime, kNumber, kName, kValue, kRate, kDestination, kOrigin, kColumnCount };
constexpr int kCountRole = Qt::UserRole;
constexpr int kIdRole = Qt::UserRole + 1;

QString secondsSince(std::chrono::nanoseconds time, std::chrono::nanoseconds epoch) {
    const std::chrono::duration<double> at = time - epoch;
    return QString::number(at.count(), 'f', 3);
}

}  // namespace

MidiMonitorDock::MidiMonitorDock(QWidget* parent) : QDockWidget(tr("MIDI Monitor"), parent) {
    setObjectName("midiMonitor");

    auto* body = new QWidget(this);
    auto* layout = new QVBoxLayout(body);
    constexpr int margin = theme::metrics::kMonitorMargin;
    layout->setContentsMargins(margin, margin, margin, margin);

    tree_ = new QTreeWidget(body);
    tree_->setObjectName("midiMonitorLines");
    tree_->setAccessibleName(tr("Sent MIDI"));
    tree_->setColumnCount(kColumnCount);
    tree_->setHeaderLabels({tr("Time (s)"), tr("NRPN"), tr("Name"), tr("Value"), tr("Rate"),
                            tr("Destination"), tr("Origin")});
    tree_->setUniformRowHeights(true);
    tree_->setRootIsDecorated(true);
    // Fixed widths: sizing columns to their contents measures every line on
    // every repaint.
    tree_->header()->setSectionResizeMode(QHeaderView::Interactive);
    tree_->header()->setStretchLastSection(true);
    const int digit = tree_->fontMetrics().horizontalAdvance('0');
    for (const auto& [column, digits] :
         {std::pair{kTime, 10}, std::pair{kNumber, 7}, std::pair{kName, 34}, std::pair{kValue, 8},
          std::pair{kRate, 18}, std::pair{kDestination, 24}}) {
        tree_->setColumnWidth(column, digits * digit);
    }
    layout->addWidget(tree_);
    connect(tree_, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* item) { showRecent(item); });

    auto* buttons = new QHBoxLayout;
    pause_ = new QPushButton(tr("Pause"), body);
    pause_->setCheckable(true);
    auto* clear = new QPushButton(tr("Clear"), body);
    auto* copy = new QPushButton(tr("Copy"), body);
    copy->setToolTip(tr("Copy every line as text"));
    buttons->addWidget(pause_);
    buttons->addWidget(clear);
    buttons->addWidget(copy);
    buttons->addStretch();
    layout->addLayout(buttons);
    inputLoss_ = new QLabel(body);
    inputLoss_->setObjectName("controllerInputLoss");
    inputLoss_->setWordWrap(true);
    inputLoss_->hide();
    layout->addWidget(inputLoss_);
    setWidget(body);

    connect(pause_, &QPushButton::toggled, this, [this] { updateListening(); });
    connect(clear, &QPushButton::clicked, this, [this] {
        if (feed_ != nullptr) {
            feed_->clear();
        }
        clearLines();
    });
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(text()); });

    repaint_.setSingleShot(true);
    connect(&repaint_, &QTimer::timeout, this, [this] { refresh(); });
}

MidiMonitorDock::~MidiMonitorDock() {
    if (manager_ && listening_) {
        manager_->removeSendObserver(feed_);
    }
    if (feed_ != nullptr) {
        feed_->setChangeHandler({});
    }
}

void MidiMonitorDock::setSource(std::shared_ptr<MidiManager> manager, MonitorFeed& feed) {
    if (manager_ && listening_) {
        manager_->removeSendObserver(feed_);
        listening_ = false;
    }
    if (feed_ != nullptr) {
        feed_->setChangeHandler({});
    }
    manager_ = std::move(manager);
    feed_ = &feed;
    feed_->setChangeHandler([this] { scheduleRefresh(); });
    clearLines();
    updateListening();
}

void MidiMonitorDock::showEvent(QShowEvent* event) {
    QDockWidget::showEvent(event);
    onScreen_ = true;
    updateListening();
    scheduleRefresh();
}

void MidiMonitorDock::hideEvent(QHideEvent* event) {
    QDockWidget::hideEvent(event);
    // Closed, or its window minimised (which hides the children too).
    onScreen_ = false;
    repaint_.stop();
    updateListening();
}

// Listens while open: a minimised window still records, a closed monitor
// does not.
void MidiMonitorDock::updateListening() {
    const bool wanted = manager_ && feed_ != nullptr && !isHidden() && !pause_->isChecked();
    if (wanted == listening_) {
        return;
    }
    listening_ = wanted;
    if (wanted) {
        manager_->addSendObserver(feed_);
    } else {
        manager_->removeSendObserver(feed_);
    }
}

// One refresh for any number of changes, at most one a repaint interval.
// A change that finds the interval over refreshes through a posted call, which
// runs before the window's pending repaint: a change made by a tick of the
// balls is then drawn in the frame the tick draws anyway, not in one of its
// own. A stream's last change, which no later change follows, is refreshed
// by the timer a little after the interval.
void MidiMonitorDock::scheduleRefresh() {
    if (!onScreen_ || refreshQueued_ || feed_ == nullptr || feed_->version() == shownVersion_) {
        return;
    }
    const auto since = std::chrono::milliseconds(
        sinceRefresh_.isValid() ? sinceRefresh_.elapsed() : kRepaintInterval.count());
    if (since >= kRepaintInterval) {
        repaint_.stop();
        refreshQueued_ = true;
        QMetaObject::invokeMethod(
            this,
            [this] {
                refreshQueued_ = false;
                refresh();
            },
            Qt::QueuedConnection);
    } else if (!repaint_.isActive()) {
        repaint_.start(kRepaintInterval - since + kLastChangeDelay);
    }
}

void MidiMonitorDock::clearLines() {
    tree_->clear();
    items_.clear();
    shownVersion_ = feed_ != nullptr ? feed_->version() : 0;
}

void MidiMonitorDock::refresh() {
    repaint_.stop();
    if (feed_ == nullptr || feed_->version() == shownVersion_) {
        return;
    }
    sinceRefresh_.start();
    shownVersion_ = feed_->version();
    const auto& rows = feed_->rows();
    if (rows.empty()) {
        clearLines();
        return;
    }
    QScrollBar* scroll = tree_->verticalScrollBar();
    const bool atBottom = scroll->value() == scroll->maximum();

    // Lines whose rows fell off the feed's oldest end go too.
    while (!items_.empty() && items_.begin()->first < rows.front().id) {
        delete items_.begin()->second;
        items_.erase(items_.begin());
    }
    for (const MonitorRow& row : rows) {
        auto it = items_.find(row.id);
        if (it == items_.end()) {
            auto* item = new QTreeWidgetItem(tree_);
            item->setData(0, kIdRole, QVariant::fromValue<qulonglong>(row.id));
            it = items_.emplace(row.id, item).first;
        } else if (it->second->data(0, kCountRole).toULongLong() == row.count) {
            continue;
        }
        showLine(it->second, row);
        if (it->second->isExpanded()) {
            showRecent(it->second);
        }
    }
    if (atBottom) {
        tree_->scrollToBottom();
    }
}

// A new line gets every column; a growing one only what changes.
void MidiMonitorDock::showLine(QTreeWidgetItem* item, const MonitorRow& row) const {
    const bool fresh = item->data(0, kCountRole).isNull();
    item->setData(0, kCountRole, QVariant::fromValue<qulonglong>(row.count));
    if (fresh) {
        item->setText(kTime, secondsSince(row.first, feed_->epoch()));
        item->setText(kNumber, QString::number(row.number));
        item->setText(kName, QString::fromStdString(nrpnName(row.number)));
        item->setText(kDestination, QString::fromStdString(row.destinationName));
    }
    item->setText(kValue, QString::number(row.value));
    item->setText(kOrigin, QString::fromLatin1(originName(row.origin)));
    if (row.count > 1) {
        item->setText(kRate, tr("%1 sent, %2/s").arg(row.count).arg(row.rate(), 0, 'f', 1));
        item->setChildIndicatorPolicy(QTreeWidgetItem::ShowIndicator);
    }
}

// An expanded line lists the row's latest sequences, oldest first.
void MidiMonitorDock::showRecent(QTreeWidgetItem* item) {
    if (feed_ == nullptr) {
        return;
    }
    const auto id = item->data(0, kIdRole).toULongLong();
    const auto& rows = feed_->rows();
    if (rows.empty() || id < rows.front().id || id - rows.front().id >= rows.size()) {
        return;
    }
    const MonitorRow& row = rows[static_cast<std::size_t>(id - rows.front().id)];
    qDeleteAll(item->takeChildren());
    const QString name = QString::fromStdString(nrpnName(row.number));
    for (const SentSequence& s : row.recent) {
        auto* child = new QTreeWidgetItem(item);
        child->setText(kTime, secondsSince(s.time, feed_->epoch()));
        child->setText(kNumber, QString::number(s.number));
        child->setText(kName, name);
        child->setText(kValue, QString::number(s.value));
        child->setText(kOrigin, QString::fromLatin1(originName(s.origin)));
    }
}

void MidiMonitorDock::showInputLoss(std::uint64_t lost) {
    inputLoss_->setVisible(lost > 0);
    inputLoss_->setText(lost == 1 ? tr("Controller input: 1 message lost because it came faster "
                                       "than the panel could take it.")
                                  : tr("Controller input: %1 messages lost because they came "
                                       "faster than the panel could take them.")
                                        .arg(lost));
}

QString MidiMonitorDock::text() const {
    if (feed_ == nullptr) {
        return {};
    }
    return QString::fromStdString(monitorText(feed_->rows(), feed_->epoch(), nrpnName));
}

}  // namespace tarnwell

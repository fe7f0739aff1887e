#include "ui/midi/midi_activity_view.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QSignalBlocker>

#include "core/midi/link_speed.hpp"
#include "core/midi/midi_manager.hpp"
#include "ui/panel/picker.hpp"

namespace tarnwell {

namespace {

constexpr LinkSpeed kLinkSpeeds[] = {LinkSpeed::softwareUsb, LinkSpeed::din};

QString lightStyle(bool lit) {
    return QString("QLabel { border-radius: 6px; background-color: %1; }")
        .arg(lit ? "#34c759" : "#8e8e93");
}

}  // namespace

MidiActivityView::MidiActivityView(std::shared_ptr<MidiManager> manager, const TimeSource& clock,
                                   QWidget* parent)
    : QWidget(parent), manager_(std::move(manager)), clock_(clock) {
    setObjectName("midiActivity");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    light_ = new QLabel(this);
    light_->setObjectName("midiActivityLight");
    light_->setFixedSize(12, 12);
    light_->setStyleSheet(lightStyle(false));
    light_->setAccessibleName("MIDI activity");
    layout->addWidget(light_);

    rates_ = new QLabel("0 msg/s  0 B/s", this);
    rates_->setObjectName("midiRates");
    layout->addWidget(rates_);

    load_ = new QProgressBar(this);
    load_->setObjectName("midiLoad");
    load_->setRange(0, 200);
    load_->setValue(0);
    load_->setFormat("DIN load %v%");
    load_->setFixedWidth(130);
    load_->setAccessibleName("Load against a DIN link");
    load_->setToolTip(
        QString("What is sent, against a DIN MIDI link's %1 bytes/s").arg(kDinBytesPerSecond));
    layout->addWidget(load_);

    link_ = new Picker(this);
    link_->setObjectName("midiLinkSpeed");
    link_->setAccessibleName("Link speed");
    link_->setToolTip("The link to the connected destination, remembered by its name");
    for (const LinkSpeed speed : kLinkSpeeds) {
        link_->addItem(QString::fromUtf8(linkSpeedText(speed).data(),
                                         static_cast<qsizetype>(linkSpeedText(speed).size())));
    }
    layout->addWidget(link_);

    pacing_ = new QCheckBox("Pace DIN", this);
    pacing_->setObjectName("midiDinPacing");
    pacing_->setToolTip(
        "Hold sends to DIN links to their budget: whole sequences, the latest "
        "value of each parameter, hand edits first");
    layout->addWidget(pacing_);

    connect(link_, &QComboBox::activated, this, [this](int index) { chooseLink(index); });
    connect(pacing_, &QCheckBox::toggled, this, [this](bool on) { choosePacing(on); });
    connection_ = manager_->changed.connect([this](MidiManagerChange change) {
        if (change != MidiManagerChange::destinations) {
            showLink();
        }
    });
    showLink();

    timer_.setInterval(kSampleInterval);
    connect(&timer_, &QTimer::timeout, this, [this] { sample(); });
    timer_.start();
    meter_.sample(clock_.now(), manager_->sentSequences());
}

void MidiActivityView::sample() {
    meter_.sample(clock_.now(), manager_->sentSequences());
    // Style sheets re-polish the widget: set them only on a change.
    const bool lit = meter_.sentSinceLastSample();
    if (lit != lit_) {
        lit_ = lit;
        light_->setStyleSheet(lightStyle(lit));
    }
    const QString rates = QString("%1 msg/s  %2 B/s")
                              .arg(qRound(meter_.messagesPerSecond()))
                              .arg(qRound(meter_.bytesPerSecond()));
    if (rates != rates_->text()) {
        rates_->setText(rates);
    }
    const int percent = qRound(meter_.load(kDinBytesPerSecond) * 100.0);
    load_->setValue(std::min(percent, load_->maximum()));
    const bool over = percent > 100 && manager_->connectedLinkSpeed() == LinkSpeed::din &&
                      !manager_->pacingActive();
    if (over != over_) {
        over_ = over;
        load_->setStyleSheet(over ? "QProgressBar::chunk { background-color: #ff3b30; }"
                                  : QString());
    }
}

void MidiActivityView::showLink() {
    const QSignalBlocker blockLink(link_);
    const QSignalBlocker blockPacing(pacing_);
    link_->setEnabled(manager_->connectedDeviceName().has_value());
    link_->setCurrentIndex(manager_->connectedLinkSpeed() == LinkSpeed::din ? 1 : 0);
    pacing_->setChecked(manager_->linkChoices().dinPacing);
}

void MidiActivityView::chooseLink(int index) {
    const auto& name = manager_->connectedDeviceName();
    if (!name || index < 0 || index >= static_cast<int>(std::size(kLinkSpeeds))) {
        return;
    }
    LinkChoices choices = manager_->linkChoices();
    const LinkSpeed speed = kLinkSpeeds[index];
    if (speed == LinkSpeed::softwareUsb) {
        choices.speeds.erase(*name);
    } else {
        choices.speeds[*name] = speed;
    }
    manager_->setLinkChoices(std::move(choices));
}

void MidiActivityView::choosePacing(bool on) {
    LinkChoices choices = manager_->linkChoices();
    choices.dinPacing = on;
    manager_->setLinkChoices(std::move(choices));
}

}  // namespace tarnwell

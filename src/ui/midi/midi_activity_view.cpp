#include "ui/midi/midi_activity_view.hpp"

#include <algorithm>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QSignalBlocker>

#include "core/midi/link_speed.hpp"
#include "core/midi/midi_manager.hpp"
#include "core/midi/sent_sequence.hpp"
#include "ui/panel/picker.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

constexpr LinkSpeed kLinkSpeeds[] = {LinkSpeed::softwareUsb, LinkSpeed::din};

QString ratesText(double sequencesPerSecond) {
    return MidiActivityView::tr("%1 msg/s  %2 B/s")
        .arg(qRound(sequencesPerSecond * kSequenceMessages))
        .arg(qRound(sequencesPerSecond * kSequenceBytes));
}

}  // namespace

ActivityLight::ActivityLight(QWidget* parent) : QWidget(parent) {
    setFixedSize(theme::metrics::kActivityLightDiameter, theme::metrics::kActivityLightDiameter);
}

void ActivityLight::setLit(bool lit) {
    if (lit != lit_) {
        lit_ = lit;
        update();
    }
}

void ActivityLight::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(lit_ ? theme::kActivityLit : theme::kActivityIdle);
    painter.drawEllipse(rect());
}

MidiActivityView::MidiActivityView(std::shared_ptr<MidiManager> manager, TrafficMeter& meter,
                                   const TimeSource& clock, QWidget* parent)
    : QWidget(parent),
      manager_(std::move(manager)),
      meter_(meter),
      clock_(clock),
      // Inside the send that woke it: the rate is measured from that send on.
      watch_([this] {
          meter_.restart(clock_.now(), manager_->sentSequences());
          light_->setLit(true);
          startSampling();
      }) {
    setObjectName("midiActivity");
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);

    light_ = new ActivityLight(this);
    light_->setObjectName("midiActivityLight");
    light_->setAccessibleName(tr("MIDI activity"));
    layout->addWidget(light_);

    // Fixed sizes: a change of text or value never lays the status bar out
    // again.
    rates_ = new QLabel(ratesText(0.0), this);
    rates_->setObjectName("midiRates");
    rates_->setFixedSize(rates_->fontMetrics().horizontalAdvance(ratesText(9999.0)),
                         rates_->sizeHint().height());
    layout->addWidget(rates_);

    load_ = new QProgressBar(this);
    load_->setObjectName("midiLoad");
    load_->setRange(0, 200);
    load_->setValue(0);
    load_->setFormat(tr("DIN load %v%"));
    load_->setFixedSize(theme::metrics::kActivityLoadWidth, load_->sizeHint().height());
    load_->setAccessibleName(tr("Load against a DIN link"));
    load_->setToolTip(
        tr("What is sent, against a DIN MIDI link's %1 bytes/s").arg(kDinBytesPerSecond));
    layout->addWidget(load_);

    link_ = new Picker(this);
    link_->setObjectName("midiLinkSpeed");
    link_->setAccessibleName(tr("Link speed"));
    link_->setToolTip(tr("The link to the connected destination, remembered by its name"));
    for (const LinkSpeed speed : kLinkSpeeds) {
        link_->addItem(QString::fromUtf8(linkSpeedText(speed).data(),
                                         static_cast<qsizetype>(linkSpeedText(speed).size())));
    }
    layout->addWidget(link_);

    pacing_ = new QCheckBox(tr("Pace DIN"), this);
    pacing_->setObjectName("midiDinPacing");
    pacing_->setToolTip(
        tr("Hold sends to DIN links to their budget: whole sequences, the latest "
           "value of each parameter, hand edits first"));
    layout->addWidget(pacing_);

    connect(link_, &QComboBox::activated, this, [this](int index) { chooseLink(index); });
    connect(pacing_, &QCheckBox::toggled, this, [this](bool on) { choosePacing(on); });
    connection_ = manager_->changed.connect([this](MidiManagerChange change) {
        if (change != MidiManagerChange::destinations) {
            showLink();
        }
    });
    showLink();

    connect(&timer_, &QTimer::timeout, this, [this] { sample(); });
    meter_.restart(clock_.now(), manager_->sentSequences());
}

void MidiActivityView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Also after a minimised window comes back: what went out meanwhile is
    // not shown as a rate, and a window of samples decides whether it flows.
    onScreen_ = true;
    meter_.restart(clock_.now(), manager_->sentSequences());
    startSampling();
}

void MidiActivityView::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    // Hidden, or the window minimised (which hides its children too).
    onScreen_ = false;
    timer_.stop();
    watch_.disarm();
}

void MidiActivityView::startSampling() {
    watch_.disarm();
    if (onScreen_ && !timer_.isActive()) {
        stillSamples_ = 0;
        timer_.start(kSampleInterval);
    }
}

void MidiActivityView::sleep() {
    timer_.stop();
    if (onScreen_) {
        watch_.arm(*manager_);
    }
}

void MidiActivityView::sample() {
    meter_.sample(clock_.now(), manager_->sentSequences());
    const bool wasLit = light_->isLit();
    light_->setLit(meter_.sentSinceLastSample());
    const bool changed = showRate(meter_.sequencesPerSecond()) || wasLit != light_->isLit();
    if (meter_.isQuiet()) {
        sleep();
        return;
    }
    stillSamples_ = changed ? 0 : stillSamples_ + 1;
    const auto interval = stillSamples_ * kSampleInterval >= std::chrono::seconds(1)
                              ? kSteadySampleInterval
                              : kSampleInterval;
    if (timer_.intervalAsDuration() != interval) {
        timer_.setInterval(interval);
    }
}

bool MidiActivityView::showRate(double sequencesPerSecond) {
    const bool toOrFromZero = (sequencesPerSecond == 0.0) != (shownRate_ == 0.0);
    if (!toOrFromZero && std::abs(sequencesPerSecond - shownRate_) <= kVisibleStep * shownRate_) {
        return false;
    }
    shownRate_ = sequencesPerSecond;
    rates_->setText(ratesText(shownRate_));
    load_->setValue(std::min(qRound(shownRate_ * kSequenceBytes * 100.0 / kDinBytesPerSecond),
                             load_->maximum()));
    showOverBudget(shownRate_ * kSequenceBytes > kDinBytesPerSecond);
    return true;
}

// Red while more is sent than a DIN link carries and nothing holds it back.
void MidiActivityView::showOverBudget(bool over) {
    over = over && manager_->connectedLinkSpeed() == LinkSpeed::din && !manager_->pacingActive();
    if (over == over_) {
        return;
    }
    over_ = over;
    QPalette palette;  // empty: the bar follows its parent's palette again
    if (over) {
        palette.setColor(QPalette::Highlight, theme::kOverBudgetRed);
    }
    load_->setPalette(palette);
}

void MidiActivityView::showLink() {
    const QSignalBlocker blockLink(link_);
    const QSignalBlocker blockPacing(pacing_);
    link_->setEnabled(manager_->connectedDeviceName().has_value());
    link_->setCurrentIndex(manager_->connectedLinkSpeed() == LinkSpeed::din ? 1 : 0);
    pacing_->setChecked(manager_->linkChoices().dinPacing);
    showOverBudget(shownRate_ * kSequenceBytes > kDinBytesPerSecond);
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

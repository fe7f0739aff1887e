#include "ui/physics/ball_page_view.hpp"

#include <algorithm>
#include <cmath>

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "core/physics/named_parameters.hpp"
#include "core/physics/simulation.hpp"
#include "core/physics/wave.hpp"
#include "ui/panel/parameter_slider.hpp"
#include "ui/panel/picker.hpp"
#include "ui/theme.hpp"

namespace tarnwell {

namespace {

using theme::metrics::kBallLeftSliderWidth;
using theme::metrics::kBallPageRowSpacing;
using theme::metrics::kBallRightSliderWidth;

// A slider's field, range and label. Every range starts at 0. The steps per
// unit set the knob's resolution: about a thousand positions or more per range.
struct SliderInfo {
    const char* name;  // untranslated; shown through BallPageView::tr
    double Ball::*field;
    double maximum;
    int stepsPerUnit;
    int decimals;  // shown after the point
    int width;
};

using Sim = PhysicsSimulation;
const std::array<SliderInfo, kBallSliderCount> kSliders = {{
    {QT_TRANSLATE_NOOP("tarnwell::BallPageView", "Amp Y"), &Ball::ampY, Sim::kMaxAmplitude, 200, 1,
     kBallLeftSliderWidth},
    {QT_TRANSLATE_NOOP("tarnwell::BallPageView", "Freq Y"), &Ball::freqY, Sim::kMaxFrequency, 400,
     1, kBallLeftSliderWidth},
    {QT_TRANSLATE_NOOP("tarnwell::BallPageView", "Phase Y"), &Ball::phaseY, Sim::kMaxPhase, 200, 1,
     kBallLeftSliderWidth},
    {QT_TRANSLATE_NOOP("tarnwell::BallPageView", "Strength"), &Ball::magnetStrength,
     Sim::kMaxMagnetStrength, 200, 1, kBallRightSliderWidth},
    {QT_TRANSLATE_NOOP("tarnwell::BallPageView", "Mag X"), &Ball::magnetX, Sim::boundingWidth, 4, 0,
     kBallRightSliderWidth},
    {QT_TRANSLATE_NOOP("tarnwell::BallPageView", "Mag Y"), &Ball::magnetY, Sim::boundingHeight, 4,
     0, kBallRightSliderWidth},
    {QT_TRANSLATE_NOOP("tarnwell::BallPageView", "Amp X"), &Ball::ampX, Sim::kMaxAmplitude, 200, 1,
     kBallRightSliderWidth},
    {QT_TRANSLATE_NOOP("tarnwell::BallPageView", "Freq X"), &Ball::freqX, Sim::kMaxFrequency, 400,
     1, kBallRightSliderWidth},
    {QT_TRANSLATE_NOOP("tarnwell::BallPageView", "Phase X"), &Ball::phaseX, Sim::kMaxPhase, 200, 1,
     kBallRightSliderWidth},
}};

const SliderInfo& infoOf(BallSlider which) {
    return kSliders[static_cast<std::size_t>(which)];
}

QString valueText(const SliderInfo& info, double value) {
    return BallPageView::tr("%1: %2").arg(BallPageView::tr(info.name),
                                          QString::number(value, 'f', info.decimals));
}

QLabel* headline(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setFont(theme::headlineFont(label->font()));
    return label;
}

// Adds `widget` with extra room above and below it.
void addSpaced(QVBoxLayout* column, QWidget* widget, int above, int below,
               Qt::Alignment alignment = {}) {
    auto* box = new QVBoxLayout;
    box->setContentsMargins(0, above, 0, below);
    box->addWidget(widget, 0, alignment);
    column->addLayout(box);
}

QFrame* divider(QWidget* parent) {
    auto* line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

// A pop-up menu with its label before it; the label names it for screen readers.
QComboBox* addPicker(QVBoxLayout* column, const QString& label, QWidget* parent) {
    auto* picker = new Picker(parent);
    picker->setAccessibleName(label);
    picker->setFocusPolicy(Qt::StrongFocus);
    auto* text = new QLabel(label, parent);
    text->setBuddy(picker);
    auto* row = new QHBoxLayout;
    row->setSpacing(kBallPageRowSpacing);
    row->addWidget(text);
    row->addWidget(picker);
    row->addStretch();
    column->addLayout(row);
    return picker;
}

// At least `width` wide, wider only when the longest item would not fit.
void fixPickerWidth(QComboBox* picker, int width) {
    picker->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    picker->setFixedWidth(std::max(width, picker->sizeHint().width()));
}

QVBoxLayout* makeColumn() {
    auto* column = new QVBoxLayout;
    column->setSpacing(kBallPageRowSpacing);
    column->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    return column;
}

}  // namespace

BallPageView::BallPageView(PhysicsSimulation& simulation, std::size_t index, QWidget* parent)
    : QWidget(parent), simulation_(simulation), index_(index) {
    setObjectName(QString("ballPage%1").arg(index + 1));
    auto* page = new QHBoxLayout(this);
    constexpr int margin = theme::metrics::kBallPageMargin;
    page->setContentsMargins(margin, margin, margin, margin);
    page->setSpacing(theme::metrics::kBallPageColumnGap);
    page->setAlignment(Qt::AlignTop);

    // Left: parameter and vertical wave.
    auto* left = makeColumn();
    left->addWidget(headline(tr("Ball %1").arg(static_cast<qulonglong>(index) + 1), this));
    paramLabel_ = new QLabel(this);
    paramLabel_->setObjectName("paramLabel");
    paramLabel_->setTextFormat(Qt::PlainText);
    left->addWidget(paramLabel_);
    runButton_ = new QPushButton(this);
    runButton_->setFocusPolicy(Qt::StrongFocus);
    runButton_->setAutoDefault(false);
    connect(runButton_, &QPushButton::clicked, this, [this] { simulation_.toggleRunning(index_); });
    addSpaced(left, runButton_, 0, theme::metrics::kRunButtonBelow, Qt::AlignLeft);

    paramPicker_ = addPicker(left, tr("Param"), this);
    for (const NamedNRPN& entry : namedNRPNs()) {
        paramPicker_->addItem(QString::fromStdString(entry.name),
                              QVariant::fromValue<qlonglong>(entry.number));
    }
    paramPicker_->setMaxVisibleItems(20);
    fixPickerWidth(paramPicker_, kBallLeftSliderWidth);
    connect(paramPicker_, &QComboBox::activated, this, [this](int row) {
        const auto number = paramPicker_->itemData(row).toLongLong();
        simulation_.editBall(index_, [number](Ball& ball) { ball.assignedParam = number; });
    });
    addSpaced(left, divider(this), theme::metrics::kDividerSpace, theme::metrics::kDividerSpace);
    waveYPicker_ = addWavePicker(left, tr("Y wave:"), true);
    addSlider(left, BallSlider::ampY);
    addSlider(left, BallSlider::freqY);
    addSlider(left, BallSlider::phaseY);
    left->addStretch();

    // Right: magnet and horizontal wave.
    auto* right = makeColumn();
    right->addWidget(headline(tr("Magnet"), this));
    magnetToggle_ = new QCheckBox(tr("Enabled"), this);
    magnetToggle_->setFocusPolicy(Qt::StrongFocus);
    connect(magnetToggle_, &QCheckBox::toggled, this, [this](bool on) {
        simulation_.editBall(index_, [on](Ball& ball) { ball.magnetEnabled = on; });
    });
    right->addWidget(magnetToggle_);
    addSlider(right, BallSlider::magnetStrength);
    addSlider(right, BallSlider::magnetX);
    addSlider(right, BallSlider::magnetY);
    addSpaced(right, divider(this), theme::metrics::kDividerSpace, theme::metrics::kDividerSpace);
    right->addWidget(headline(tr("X wave"), this));
    waveXPicker_ = addWavePicker(right, tr("X wave:"), false);
    addSlider(right, BallSlider::ampX);
    addSlider(right, BallSlider::freqX);
    addSlider(right, BallSlider::phaseX);
    right->addStretch();

    page->addLayout(left);
    page->addLayout(right);
    page->addStretch();
    showBall();
}

QComboBox* BallPageView::addWavePicker(QVBoxLayout* column, const QString& label, bool vertical) {
    auto* picker = addPicker(column, label, this);
    for (const WaveType type : kAllWaveTypes) {
        const auto raw = rawValue(type);
        picker->addItem(QString::fromUtf8(raw.data(), static_cast<qsizetype>(raw.size())));
    }
    fixPickerWidth(picker, theme::metrics::kWavePickerWidth);
    connect(picker, &QComboBox::activated, this, [this, vertical](int row) {
        if (row < 0 || static_cast<std::size_t>(row) >= kAllWaveTypes.size()) {
            return;
        }
        const WaveType type = kAllWaveTypes[static_cast<std::size_t>(row)];
        simulation_.editBall(index_, [vertical, type](Ball& ball) {
            (vertical ? ball.waveTypeY : ball.waveTypeX) = type;
        });
    });
    return picker;
}

void BallPageView::addSlider(QVBoxLayout* column, BallSlider which) {
    const SliderInfo& info = infoOf(which);
    auto* label = new QLabel(this);
    label->setTextFormat(Qt::PlainText);
    auto* slider = new ParameterSlider(0.0, info.maximum, info.stepsPerUnit, this);
    slider->setAccessibleName(tr(info.name));
    slider->setFixedWidth(info.width);
    // Assistive technologies get the value in the steps the label shows.
    slider->setShownStep(std::pow(10.0, -info.decimals));
    column->addWidget(label);
    column->addWidget(slider);
    sliders_[static_cast<std::size_t>(which)] = slider;
    valueLabels_[static_cast<std::size_t>(which)] = label;

    connect(slider, &ParameterSlider::valueEdited, this, [this, &info](double value) {
        simulation_.editBall(index_, [&info, value](Ball& ball) { ball.*info.field = value; });
    });
    connect(slider, &ParameterSlider::editBegan, this, [this] { simulation_.beginGesture(); });
    connect(slider, &ParameterSlider::editEnded, this, [this] { simulation_.endGesture(); });
}

void BallPageView::showBall() {
    const auto& balls = simulation_.balls();
    if (index_ >= balls.size()) {
        return;
    }
    const Ball& ball = balls[index_];
    paramLabel_->setText(QString::fromStdString(assignedParamLabel(ball.assignedParam)));
    runButton_->setText(ball.isRunning ? tr("Stop") : tr("Start"));
    {
        const QSignalBlocker blocker(paramPicker_);
        paramPicker_->setCurrentIndex(
            paramPicker_->findData(QVariant::fromValue<qlonglong>(ball.assignedParam)));
    }
    {
        const QSignalBlocker blocker(waveYPicker_);
        waveYPicker_->setCurrentIndex(static_cast<int>(ball.waveTypeY));
    }
    {
        const QSignalBlocker blocker(waveXPicker_);
        waveXPicker_->setCurrentIndex(static_cast<int>(ball.waveTypeX));
    }
    {
        const QSignalBlocker blocker(magnetToggle_);
        magnetToggle_->setChecked(ball.magnetEnabled);
    }
    for (std::size_t i = 0; i < kBallSliderCount; ++i) {
        const double value = ball.*kSliders[i].field;
        sliders_[i]->showValue(value);
        valueLabels_[i]->setText(valueText(kSliders[i], value));
    }
}

}  // namespace tarnwell

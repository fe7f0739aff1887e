#include "ui/panel/mode_toggle_view.hpp"

#include <QSignalBlocker>

#include "core/panel/controller.hpp"

namespace tarnwell {

namespace {

// The view's name, by switch, for styling and for tests to find it.
QString viewName(ModeToggle toggle) {
    switch (toggle) {
        case ModeToggle::voiceModeToggle:
            return QStringLiteral("VoiceModeToggleView");
        case ModeToggle::drumModeToggle:
            return QStringLiteral("DrumModeToggleView");
        case ModeToggle::filterModeToggle:
            return QStringLiteral("FilterButtonView");
        case ModeToggle::regenModeToggle:
            return QStringLiteral("regenButtonView");
        case ModeToggle::regen2ModeToggle:
            return QStringLiteral("regen2ButtonView");
        case ModeToggle::midiModeToggle:
            return QStringLiteral("midimodeToggleView");
    }
    return {};
}

}  // namespace

ModeToggleView::ModeToggleView(Controller& controller, ModeToggle toggle, QWidget* parent)
    : QCheckBox(parent), controller_(controller), toggle_(toggle) {
    const ModeToggleInfo& info = modeToggleInfo(toggle);
    setObjectName(viewName(toggle));
    setFocusPolicy(Qt::StrongFocus);
    setToolTip(tr("%1; sends NRPN %2 when on, %3 when off.")
                   .arg(QString::fromUtf8(info.meaning.data(),
                                          static_cast<qsizetype>(info.meaning.size())))
                   .arg(info.onNumber)
                   .arg(info.offNumber));
    showState();
    connect(this, &QCheckBox::toggled, this,
            [this](bool on) { controller_.setModeToggle(toggle_, on); });
    connection_ = controller_.changed.connect([this](ControllerChange change) {
        if (change.field == ControllerField::modeToggle &&
            change.index == static_cast<std::int64_t>(toggle_)) {
            showState();
        }
    });
}

void ModeToggleView::showState() {
    const bool on = controller_.modeToggle(toggle_);
    const QSignalBlocker blocker(this);
    setChecked(on);
    const std::string_view text = modeToggleText(toggle_, on);
    setText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

}  // namespace tarnwell

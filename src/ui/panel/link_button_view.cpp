#include "ui/panel/link_button_view.hpp"

#include <QSignalBlocker>

namespace tarnwell {

LinkButtonView::LinkButtonView(std::function<void()> action, QWidget* parent)
    : QPushButton(parent), action_(std::move(action)) {
    setObjectName("LinkButtonView");
    // Checkable so assistive technology announces the grouped state too. A
    // click, Space or an assistive toggle all flip the checked state; the
    // owner's action decides, and its answer comes back through setLinked.
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QPushButton::toggled, this, [this](bool checked) {
        if (checked == isLinked_) {
            return;
        }
        setLinked(isLinked_);
        if (action_) {
            action_();
        }
    });
    setLinked(false);
}

void LinkButtonView::setLinked(bool isLinked) {
    isLinked_ = isLinked;
    const QSignalBlocker blocker(this);
    setChecked(isLinked);
    setText(isLinked ? tr("Ungroup") : tr("Group"));
}

}  // namespace tarnwell

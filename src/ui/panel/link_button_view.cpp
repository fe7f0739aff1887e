#include "ui/panel/link_button_view.hpp"

#include "ui/theme.hpp"

namespace tarnwell {

LinkButtonView::LinkButtonView(std::function<void()> action, QWidget* parent)
    : QPushButton(parent), action_(std::move(action)) {
    setObjectName("LinkButtonView");
    // Checkable so assistive technology announces the grouped state too.
    setCheckable(true);
    setFocusPolicy(Qt::StrongFocus);
    connect(this, &QPushButton::clicked, this, [this] {
        setChecked(isLinked_);  // the state comes back through setLinked
        if (action_) {
            action_();
        }
    });
    setLinked(false);
}

void LinkButtonView::setLinked(bool isLinked) {
    isLinked_ = isLinked;
    setChecked(isLinked);
    setText(isLinked ? "Ungroup" : "Group");
    const QColor text = isLinked ? kGroupedGreen : QColor(Qt::white);
    setStyleSheet(QString("QPushButton { color: %1; background-color: %2; border: none;"
                          " border-radius: 10px; padding: 5px 18px; font-weight: bold; }"
                          "QPushButton:focus { border: 2px solid palette(highlight); }")
                      .arg(text.name(), kDarkButtonFace.name()));
}

}  // namespace tarnwell

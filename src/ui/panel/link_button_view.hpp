#pragma once

#include <functional>

#include <QPushButton>

namespace tarnwell {

// The link button of a unit page: "Ungroup" in green while the unit is
// grouped, "Group" in white otherwise. Pressing it runs the owner's action;
// it sends nothing itself.
class LinkButtonView : public QPushButton {
    Q_OBJECT
public:
    LinkButtonView(std::function<void()> action, QWidget* parent = nullptr);

    void setLinked(bool isLinked);

private:
    std::function<void()> action_;
    bool isLinked_ = false;
};

}  // namespace tarnwell

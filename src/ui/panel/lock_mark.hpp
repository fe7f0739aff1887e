#pragma once

#include <QWidget>

namespace tarnwell {

// A small padlock beside a parameter's slider, drawn while the parameter is
// locked against Mutate and Morph; empty space of the same size otherwise, so
// locking moves nothing on the page.
class LockMark : public QWidget {
    Q_OBJECT
public:
    explicit LockMark(QWidget* parent = nullptr);

    void setLocked(bool locked);
    [[nodiscard]] bool isLocked() const { return locked_; }
    [[nodiscard]] QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool locked_ = false;
};

}  // namespace tarnwell

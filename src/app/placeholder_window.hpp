#pragma once

#include <QMainWindow>

namespace tarnwell {

class PlaceholderWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit PlaceholderWindow(QWidget* parent = nullptr);
};

}  // namespace tarnwell

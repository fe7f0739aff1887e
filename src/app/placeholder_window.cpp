#include "app/placeholder_window.hpp"

#include <QLabel>

namespace tarnwell {

PlaceholderWindow::PlaceholderWindow(QWidget* parent) : QMainWindow(parent) {
    setWindowTitle("Tarnwell");
    setCentralWidget(new QLabel("tarnwell!", this));
}

}  // namespace tarnwell

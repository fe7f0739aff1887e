#include <QApplication>

#include "app/placeholder_window.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    tarnwell::PlaceholderWindow window;
    window.show();
    return QApplication::exec();
}

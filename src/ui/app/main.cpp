#include <QApplication>

#include "ui/app/application.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarnwell");
    QApplication::setApplicationDisplayName("Tarnwell");
    tarnwell::Application tarnwell;
    tarnwell.start();
    return QApplication::exec();
}

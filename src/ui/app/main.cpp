#include <QApplication>

#include "ui/app/application.hpp"
#include "ui/app/quit_signals.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationName("Tarnwell");
    QApplication::setApplicationName("Tarnwell");
    QApplication::setApplicationDisplayName("Tarnwell");
    // Closing the window, quit() and these signals all end the event loop;
    // the panel then shuts down as `tarnwell` goes.
    const tarnwell::QuitOnSignals quitOnSignals;
    tarnwell::Application tarnwell;
    tarnwell.start();
    return QApplication::exec();
}

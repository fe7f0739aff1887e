#include <QApplication>
#include <QIcon>

#include "core/midi/pipewire_jack.hpp"
#include "ui/app/application.hpp"
#include "ui/app/command_line.hpp"
#include "ui/app/quit_signals.hpp"

int main(int argc, char** argv) {
    QApplication::setOrganizationName("Tarnwell");
    QApplication::setApplicationName("Tarnwell");
    QApplication::setApplicationVersion(TARNWELL_VERSION);
    tarnwell::answerHelpOrVersion(argc, argv);
    tarnwell::useJackOfRunningPipeWire(argv);
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName("Tarnwell");
    QApplication::setDesktopFileName("org.tarnwell.Tarnwell");
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QString(":/icons/tarnwell-%1.png").arg(size));
    }
    QApplication::setWindowIcon(icon);
    // Closing the window, quit() and these signals all end the event loop;
    // the panel then shuts down as `tarnwell` goes.
    const tarnwell::QuitOnSignals quitOnSignals;
    tarnwell::Application tarnwell;
    tarnwell.start();
    return QApplication::exec();
}

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <QApplication>
#include <QIcon>

#include "app/startup_jack.hpp"
#include "ui/app/application.hpp"
#include "ui/app/command_line.hpp"
#include "ui/app/quit_signals.hpp"

namespace {

// Qt cannot start without a display, and then aborts advising to reinstall
// the application. The panel says instead what is missing and ends with
// status 1: before trying, when no display is named at all, and when the
// one named does not answer.

bool platformChosen(int argc, char** argv) {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        return true;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0 || std::strcmp(argv[i], "--platform") == 0) {
            return true;
        }
    }
    return false;
}

void sayNoDisplay(const char* why) {
    std::fprintf(stderr, "tarnwell: %s: set DISPLAY or WAYLAND_DISPLAY\n", why);
    std::fflush(stderr);
}

QtMessageHandler qtHandler = nullptr;

// Installed only while the QApplication is made, when a failure to reach the
// display is Qt's only fatal message.
void onStartupMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg) {
        sayNoDisplay("the display could not be opened");
        // Half made, Qt cannot be taken down in order: end at once.
        std::_Exit(1);
    }
    if (qtHandler != nullptr) {
        qtHandler(type, context, message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    QApplication::setOrganizationName("Tarnwell");
    QApplication::setApplicationName("Tarnwell");
    QApplication::setApplicationVersion(TARNWELL_VERSION);
    tarnwell::answerHelpOrVersion(argc, argv);
    if (!platformChosen(argc, argv) && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        sayNoDisplay("no display");
        return 1;
    }
    tarnwell::startup::useJackOfRunningPipeWire(argv);
    qtHandler = qInstallMessageHandler(onStartupMessage);
    QApplication app(argc, argv);
    qInstallMessageHandler(qtHandler);
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

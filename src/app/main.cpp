#include <QApplication>

#include "app/main_window.hpp"
#include "app/qt_main_queue.hpp"
#include "base/random.hpp"
#include "midi/midi_service.hpp"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Tarnwell");
    QApplication::setApplicationDisplayName("Tarnwell");

    tarnwell::QtMainQueue queue;
    tarnwell::SystemRandom random;
    tarnwell::PanelEnvironment panel;
    panel.queue = &queue;
    panel.random = &random;

    tarnwell::MainWindow window(panel,
                                [] { return std::make_shared<tarnwell::NullMidiService>(); });
    window.resize(900, 900);
    window.show();
    return QApplication::exec();
}

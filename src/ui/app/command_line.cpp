#include "ui/app/command_line.hpp"

#include <QCommandLineParser>
#include <QCoreApplication>

namespace tarnwell {

void answerHelpOrVersion(int argc, char** argv) {
    // A QCoreApplication of its own, gone before the QApplication is made:
    // the parser names the program from its arguments.
    QCoreApplication core(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QCoreApplication::translate(
        "main", "Control panel for an additive synthesizer driven over MIDI."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help)) {
        parser.showHelp(0);
    }
    if (parser.isSet(version)) {
        parser.showVersion();
    }
}

}  // namespace tarnwell

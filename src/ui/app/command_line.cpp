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
    const QStringList arguments = QCoreApplication::arguments();
    parser.parse(arguments);
    if (parser.isSet(help) || parser.isSet("help-all") || parser.isSet(version)) {
        // Prints what was asked for and exits; refuses unknown options first.
        parser.process(arguments);
    }
}

}  // namespace tarnwell

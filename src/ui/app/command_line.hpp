#pragma once

namespace tarnwell {

// Answers --help, --help-all and --version (and -h, -v) on standard output
// and exits 0.
// Runs before the QApplication exists, so both work without a display. Every
// other argument is left to QApplication, which takes its own (-style,
// -platform, ...) and ignores the rest. Needs the application name and
// version set first.
void answerHelpOrVersion(int argc, char** argv);

}  // namespace tarnwell

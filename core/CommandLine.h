// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

class QCommandLineParser;

namespace CommandLine {

// Answers --help and --version (and wrong use of them) before the program
// builds its QApplication, so both work without a display. A temporary
// QCoreApplication reads the arguments; anything else on the command line,
// the toolkit's own options among them, is left for the real parse after
// the QApplication took its options out.
void answerHelpAndVersion(int argc, char** argv, QCommandLineParser& parser);

} // namespace CommandLine

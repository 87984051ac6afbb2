#pragma once

class QCommandLineParser;
class QString;

namespace CommandLine {

// Names the process for Qt before its application object exists: the maker as organisation,
// the given application name, and the build's version (which --version prints).
void nameApplication(const QString& applicationName);

// Answers --help and --version without a window system, so they work where no display is:
// when the arguments ask for either, prints it and returns true, and the program ends.
bool answerHelpOrVersion(QCommandLineParser& parser, int argc, char* argv[]);

// Parses the raw arguments with parser, before any application object exists, and tells
// whether they ask for the help or the version text (the parser's built-in options). A program
// answers those without its window, so they work where no display is available. Options the
// parser does not know, such as Qt's own, are not reported here.
bool asksForHelpOrVersion(QCommandLineParser& parser, int argc, const char* const* argv);

}  // namespace CommandLine

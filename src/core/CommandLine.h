#pragma once

class QCommandLineParser;

namespace CommandLine {

// Parses the raw arguments with parser, before any application object exists, and tells
// whether they ask for the help or the version text (the parser's built-in options). A program
// answers those without its window, so they work where no display is available. Options the
// parser does not know, such as Qt's own, are not reported here.
bool asksForHelpOrVersion(QCommandLineParser& parser, int argc, const char* const* argv);

}  // namespace CommandLine

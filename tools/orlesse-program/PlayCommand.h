#pragma once

#include <QList>
#include <QString>

class QTextStream;

// What `orlesse-program play` is asked to do.
struct PlayOptions {
    QString path;            // the program file
    int comNumber = 0;       // COM n, named as the window names it
    bool white = false;      // light the white LEDs in the lit frames too
    int columns = 0;         // width of the terminal the progress bar is drawn on; 0: no terminal
    QString recordFolder;    // where the session record goes; empty: none is kept
    bool lsl = false;        // publish a Lab Streaming Layer marker stream of the run
    bool lslFrames = false;  // with lsl: a marker for every lit frame too
};

// Plays the program on the device through the window's own port connection, serial library
// and playback routine. Progress goes to out: a bar redrawn in place on a terminal, otherwise
// one line per segment. Errors go to err. Returns the exit status: 0 when the program played to
// its end, 1 when the port cannot be opened (nothing is played) or the run fails, 2 when the
// file cannot be read, 128 + the signal's number when SIGINT or SIGTERM ended it. Every run that
// opened the port ends with the dark frame. With a record folder, a folder that cannot be
// written is refused (1) before the port opens, and the record is written however the run
// ends; a record that cannot be written at the end makes a successful run's status 1.
int playProgram(const PlayOptions& options, QTextStream& out, QTextStream& err);

// One line of the progress display: the segment, frequency and level, a bar of the time
// played, the time played and the time left, fitted to columns characters.
QString progressLine(int segment, int segments, int frequency, int level, double elapsed,
                     double remaining, int columns);

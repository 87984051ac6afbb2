#pragma once

// The width of the terminal standard output goes to, for play's progress bar; 0 when it goes
// elsewhere (a file, a pipe), and then play prints one line per segment.
int terminalColumns();

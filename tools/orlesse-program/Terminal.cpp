#include "Terminal.h"

#include <QtGlobal>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

int terminalColumns() {
#ifdef Q_OS_WIN
    // The bar redraws its line with an escape sequence, which a console takes only with
    // virtual terminal processing on (Windows 10 and later); a console that refuses it gets
    // the line-per-segment output. Terminals that reach the program through a pipe (mintty)
    // are not consoles and get it too.
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    DWORD mode = 0;
    if (output == INVALID_HANDLE_VALUE || output == nullptr || !GetConsoleMode(output, &mode)) {
        return 0;
    }
    if ((mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) == 0 &&
        !SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING)) {
        return 0;
    }
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (GetConsoleScreenBufferInfo(output, &info)) {
        const int width = info.srWindow.Right - info.srWindow.Left + 1;
        if (width > 0) {
            return width;
        }
    }
    return 80;
#else
    if (::isatty(STDOUT_FILENO) == 0) {
        return 0;
    }
    winsize window{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &window) == 0 && window.ws_col > 0) {
        return window.ws_col;
    }
    return 80;
#endif
}

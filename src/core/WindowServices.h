#pragma once

#include <QString>

// The few things an operation needs from the window that drives it: the white-LED choice, the
// title, a message and a file dialog. The main window implements them with real widgets, the
// command-line tool without a window; tests use a recording fake.
class WindowServices {
  public:
    virtual ~WindowServices() = default;

    // Value of the "Flash White LED's" check box: 1 when ticked, 0 otherwise.
    virtual int whiteBoxValue() = 0;
    // Replaces the window's title text.
    virtual void setTitle(const QString& title) = 0;
    // Shows a modal message box with one OK button and the application's title; returns when
    // the user has closed it.
    virtual void showMessage(const QString& text) = 0;
    // Shows the open-file dialog in the given folder with a filter such as
    // "Keldara Program|*.CSV|All Files|*.*"; returns the chosen path, or an empty text on cancel.
    virtual QString chooseOpenFile(const QString& folder, const QString& filter) = 0;
};

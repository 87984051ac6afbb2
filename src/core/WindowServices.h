#pragma once

#include <QString>

// The window's four drop-down lists.
enum class ListId { COMPort, FlashRate, FlashColour, Brightness };

// The few things an operation needs from the main window. The window implements them with
// real widgets; tests use a recording fake.
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
    // Appends an item to a list, with a tool tip (may be empty).
    virtual void addListItem(ListId list, const QString& text, const QString& toolTip) = 0;
    // Shows the item at index as the list's choice, without running the list's handler.
    virtual void selectListItem(ListId list, int index) = 0;
    // Inserts an item into a list before position index, with a tool tip (may be empty). The
    // choice stays with the item it was on, and a list without a choice keeps none. Windows
    // whose lists never change after start-up need not implement it.
    virtual void insertListItem(ListId /*list*/, int /*index*/, const QString& /*text*/,
                                const QString& /*toolTip*/) {}
    // Replaces the tool tip of a list's item at position index.
    virtual void setListItemToolTip(ListId /*list*/, int /*index*/, const QString& /*toolTip*/) {}
    // Closes the window for good: the program ends with it.
    virtual void closeWindow() = 0;
};

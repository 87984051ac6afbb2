#pragma once

#include <QString>

#include "core/WindowServices.h"

// The main window's four drop-down lists.
enum class ListId { COMPort, FlashRate, FlashColour, Brightness };

// What the controller needs from the main window besides the operations' services: its lists
// and closing it. frmMain implements them with real widgets; tests use a recording fake.
class MainWindowServices : public WindowServices {
  public:
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

#pragma once

#include <QString>
#include <functional>

#include "core/WindowServices.h"

// The window services of a front end without the main window (the command-line tool, the
// editor's runs, simulated runs): no window and no dialog. The white box is a fixed choice, and
// a message (the serial error text of a port that cannot be opened) goes to a function of the
// caller.
class HeadlessWindow final : public WindowServices {
  public:
    // whiteBox is the value the "Flash White LED's" box would have (1 lights the white LEDs).
    explicit HeadlessWindow(int whiteBox = 0, std::function<void(const QString&)> onMessage = {});

    int whiteBoxValue() override { return m_whiteBox; }
    void setTitle(const QString&) override {}
    void showMessage(const QString& text) override;
    QString chooseOpenFile(const QString&, const QString&) override { return {}; }

  private:
    int m_whiteBox;
    std::function<void(const QString&)> m_onMessage;
};

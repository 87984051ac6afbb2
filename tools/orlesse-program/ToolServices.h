#pragma once

#include <QString>
#include <functional>

#include "core/WindowServices.h"
#include "device/Wsc32.h"

// The window services of the command-line tool: no window and no dialog. The white box
// is a fixed choice, and a message (the serial error text of a port that cannot be opened) goes
// to a function of the caller.
class ToolWindow final : public WindowServices {
  public:
    // whiteBox is the value the "Flash White LED's" box would have (1 lights the white LEDs).
    explicit ToolWindow(int whiteBox = 0, std::function<void(const QString&)> onMessage = {});

    int whiteBoxValue() override { return m_whiteBox; }
    void setTitle(const QString&) override {}
    void showMessage(const QString& text) override;
    QString chooseOpenFile(const QString&, const QString&) override { return {}; }

  private:
    int m_whiteBox;
    std::function<void(const QString&)> m_onMessage;
};

// A serial library without a device, for simulated runs: every port opens, every write is
// taken whole and goes nowhere.
class SilentWsc32 final : public Wsc32 {
  public:
    int SioReset(int, int, int) override { return 0; }
    int SioBaud(int, int) override { return 0; }
    int SioParms(int, int, int, int) override { return 0; }
    int SioDTR(int, char) override { return 0; }
    int SioRTS(int, char) override { return 0; }
    int SioPuts(int, const char*, int count) override { return count; }
    int SioDone(int) override { return 0; }
    QString SioWinError(int) override { return {}; }
};

#pragma once

#include "device/Wsc32.h"

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

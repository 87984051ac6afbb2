#pragma once

#include "core/FlashTimer.h"

// A flash timer that keeps its settings and never ticks, for front ends that play light
// programs but do not flash (the command-line tool).
class InertFlashTimer final : public FlashTimer {
  public:
    void setInterval(int milliseconds) override { m_interval = milliseconds; }
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override { m_enabled = enabled; }
    bool isEnabled() const override { return m_enabled; }

  private:
    int m_interval = 0;
    bool m_enabled = false;
};

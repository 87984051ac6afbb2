#pragma once

#include <QTimer>

#include "core/FlashTimer.h"

// The flash timer on a precise Qt timer. Qt keeps a precise timer's schedule from one timeout
// to the next, so the ticks do not drift with the time each tick takes.
class QtFlashTimer final : public FlashTimer {
  public:
    QtFlashTimer();

    void setInterval(int milliseconds) override;
    int interval() const override { return m_interval; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return m_enabled; }

  private:
    void update();

    QTimer m_timer;
    int m_interval = 0;
    bool m_enabled = true;
};

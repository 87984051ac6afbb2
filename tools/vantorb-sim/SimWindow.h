#pragma once

#include <QTimer>
#include <QWidget>

class QLabel;
class LightView;
class Simulator;

// The simulator's window: the light drawing with the frame count, the malformed count, the
// measured flash frequency and the last frame beside it; the COM number is in the title.
// Repaints are coalesced to at most about 60 a second however fast frames arrive.
class SimWindow : public QWidget {
    Q_OBJECT
  public:
    // A window showing simulator (which must outlive it) published as COM comNumber.
    SimWindow(const Simulator& simulator, int comNumber, const QString& terminalPath,
              QWidget* parent = nullptr);

  private:
    void scheduleRefresh();
    void refresh();

    const Simulator& m_simulator;   // the device shown
    LightView* m_view = nullptr;    // the drawing (child)
    QLabel* m_frames = nullptr;     // frame count (child)
    QLabel* m_malformed = nullptr;  // malformed count (child)
    QLabel* m_frequency = nullptr;  // measured flash frequency (child)
    QLabel* m_white = nullptr;      // white LEDs on or off (child)
    QLabel* m_last = nullptr;       // the last frame (child)
    QTimer m_frameTimer;            // coalesces repaints to one per display frame
    QTimer m_tick;                  // keeps the frequency reading fresh while the line is quiet
};

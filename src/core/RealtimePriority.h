#pragma once

// Real-time scheduling of the user-interface thread while frames are paced. Under the normal
// scheduler a paced wait that ends when another process holds the processor waits for its turn,
// now and then for milliseconds; under the first-in, first-out real-time policy it takes the
// processor at once. Only what the system grants without asking is used: root or
// CAP_SYS_NICE, or a real-time limit (RLIMIT_RTPRIO, set by the administrator, often for an
// audio group). Without it the thread stays as it is and nothing is reported. The kernel keeps
// a share of every second for other tasks, and every paced wait blocks most of its time, so
// the rest of the system keeps running.
//
// On Windows the thread gets the highest priority of its process's class instead, which any
// program may take, and where the system's timers lack a high-resolution mode the system timer
// resolution is set to one millisecond (timeBeginPeriod) for as long as the thread is raised.
// CMake builds RealtimePriority.cpp or RealtimePriorityWindows.cpp.
class RealtimePriority {
  public:
    RealtimePriority() = default;
    ~RealtimePriority();
    RealtimePriority(const RealtimePriority&) = delete;
    RealtimePriority& operator=(const RealtimePriority&) = delete;

    // The real-time priority asked for (of 1 to 99): low, above every normal task and below
    // the kernel's own real-time threads.
    static constexpr int Priority = 10;

    // Raises the calling thread to real-time scheduling (true), or puts it back as it was
    // (false). Call it from the thread to raise, the same thread each time.
    void setRaised(bool raised);
    // Whether the thread runs under real-time scheduling now.
    bool isRaised() const { return m_raised; }

  private:
    bool m_raised = false;
    int m_savedPolicy = 0;
    int m_savedPriority = 0;
    bool m_timerPeriodHeld = false;  // Windows: timeBeginPeriod(1) is in force
};

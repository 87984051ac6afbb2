#pragma once

#include <QString>
#include <memory>

// What frame_timing needs of the system it runs on, in a file for each platform
// (BenchHostUnix.cpp, BenchHostWindows.cpp).
namespace BenchHost {

// Processor time of the calling thread, in seconds.
double threadProcessorSeconds();
// Processor time of the whole process, every thread included, in seconds.
double processProcessorSeconds();
// The system, as the report's first line names it: "Linux 6.1.0-18-amd64", "Windows 10.0.19045",
// or under Wine "Wine 8.0 on Linux 6.1.0-18-amd64".
QString systemName();
// The load average of the last 1, 5 and 15 minutes, or "?" where the system keeps none.
QString loadAverage();
// Before the application starts: where no display is set on Unix, the offscreen window platform,
// so that a real window can still be built. Windows always has its desktop.
void chooseWindowPlatform();

}  // namespace BenchHost

// Child processes that keep every processor busy. In the idle class (--keep-awake) no processor
// halts between two frames: on a virtual machine a halted processor is handed back to the host
// and may resume milliseconds late, and a processor kept busy at idle priority gives way to the
// controller at once, as an idle processor of a physical machine wakes within microseconds. At
// normal priority (the busy rows) they stand for another program using every core. The
// children's processor time is not the controller's and is not counted. On Unix the children are
// forks of the benchmark; on Windows they are the benchmark started again with a marker
// argument, inside a job that ends them should the benchmark end first.
class BusyProcessors {
  public:
    BusyProcessors(int processors, bool idleClass);
    ~BusyProcessors();
    BusyProcessors(const BusyProcessors&) = delete;
    BusyProcessors& operator=(const BusyProcessors&) = delete;

    // Called first in main: in a child started by BusyProcessors, spins for ever; otherwise
    // returns at once.
    static void spinIfChild(int argc, char* argv[]);

  private:
    struct Children;
    std::unique_ptr<Children> m_children;
};

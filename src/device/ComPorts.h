#pragma once

#include <QList>
#include <QString>

// COM port naming: which device a COM number stands for, and which COM numbers are present.
// On Windows COM n is the native name COMn. On Linux and other Unix systems a link named
// com<n> in portsFolder() wins; otherwise COM1-32 are /dev/ttyS0-31, COM33-64 are
// /dev/ttyUSB0-31 and COM65-96 are /dev/ttyACM0-31.
//
// The device simulator publishes its pseudo-terminal as a link to its own handle on it,
// /proc/<pid>/fd/<n>, which vanishes with the process however it ends. Such a link leads to a
// device only while process <pid> is a running simulator and the handle is a pseudo-terminal,
// so a process that later takes over the pid is never mistaken for the simulator.
namespace ComPorts {

// The highest COM number the serial library can address (its port indexes are 0 to 255).
inline constexpr int MaxComNumber = 256;

// Where udev names each USB-serial adapter after its maker, product and serial number. The name
// stays with the adapter when it is plugged in again under another ttyUSB number.
inline constexpr char StableNameFolder[] = "/dev/serial/by-id";

// One COM port that is present now.
struct Info {
    int number = 0;      // the COM number (3 means COM3)
    QString devicePath;  // the device the number maps to
    // What it is, for tool tips: "FT232R USB UART (FTDI, serial A1234567) - /dev/ttyUSB0"; for
    // a com<n> link, a first line with where the link points.
    QString description;
};

// Whether n is a COM number the serial library can address (1 to MaxComNumber).
constexpr bool isComNumber(int n) {
    return n >= 1 && n <= MaxComNumber;
}

// Folder of the com<n> links: <per-user data>/Corvexa/Orlesse/ports. The device simulator
// publishes its pseudo-terminal there.
QString portsFolder();

// How the window and the editor name COM n in their lists and messages: "Com<n>".
QString displayName(int comNumber);

// The name of COM n's link in the ports folder: "com<n>".
QString linkName(int comNumber);

// The COM number a ports-folder entry named name stands for, or 0 when the name is no link
// name or its number is out of range.
int linkNumber(const QString& name);

// The device path for COM n (n >= 1), or an empty text when n has no mapping. A com<n> link
// that exists wins even when its target is missing, so opening it reports the missing target.
QString devicePath(int comNumber);

// The device that path (as devicePath() gives it) leads to now, with links followed, or an
// empty text when it leads to none: a missing target, or a simulator's handle whose process
// is gone or is no simulator any more.
QString resolve(const QString& path);

// The link in folder that leads to device (a device node as resolve() gives it), or an empty
// text when none does. Empty on Windows, whose COM names are stable already.
QString stableName(const QString& device, const QString& folder = QLatin1String(StableNameFolder));

// The COM numbers present now, ascending, each with its device and description.
QList<Info> present();

// What COM n is, as the COM port list's tool tip tells it: its description among the listed
// ports, or its device path when it has none or is not listed.
QString describe(const QList<Info>& listed, int comNumber);

// present() with the device folder and the kernel's tty class folder taken from elsewhere
// (present() uses "/dev" and "/sys/class/tty"), so the detection rules can run on a prepared
// folder tree. The com<n> links still come from portsFolder().
QList<Info> presentIn(const QString& deviceFolder, const QString& ttyClassFolder);

}  // namespace ComPorts

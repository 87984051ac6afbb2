#include <windows.h>

#include <QFile>
#include <cstring>
#include <string>
#include <vector>

#include "BenchHost.h"

namespace {

// The argument that makes the benchmark a busy child.
constexpr char ChildMarker[] = "--busy-processor-child";

double seconds(const FILETIME& time) {
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return static_cast<double>(value.QuadPart) * 1e-7;  // units of 100 ns
}

// A function of ntdll, or nullptr where it has none (Wine's own functions on Windows).
template <typename Function>
Function ntdllFunction(const char* name) {
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name);
    // Through the generic function type, which converts to any other without a warning.
    return found ? reinterpret_cast<Function>(reinterpret_cast<void (*)()>(found)) : nullptr;
}

using WineVersion = const char* (*)();
using WineHostVersion = void (*)(const char** system, const char** release);

bool underWine() {
    return ntdllFunction<WineVersion>("wine_get_version") != nullptr;
}

}  // namespace

// The times are those the system keeps per thread and process, which it adds to at its clock
// ticks: precise over seconds, not over a single frame.
double BenchHost::threadProcessorSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    return seconds(kernel) + seconds(user);
}

double BenchHost::processProcessorSeconds() {
    FILETIME created, exited, kernel, user;
    if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
        return 0;
    }
    return seconds(kernel) + seconds(user);
}

QString BenchHost::systemName() {
    if (const auto wine = ntdllFunction<WineVersion>("wine_get_version")) {
        const char* system = "?";
        const char* release = "?";
        if (const auto host = ntdllFunction<WineHostVersion>("wine_get_host_version")) {
            host(&system, &release);
        }
        return QStringLiteral("Wine %1 on %2 %3")
            .arg(QLatin1String(wine()), QLatin1String(system), QLatin1String(release));
    }
    // GetVersionEx reports what the program's manifest declares; the kernel's own call does not.
    using RtlGetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    if (const auto get = ntdllFunction<RtlGetVersion>("RtlGetVersion"); get && get(&version) == 0) {
        return QStringLiteral("Windows %1.%2.%3")
            .arg(version.dwMajorVersion)
            .arg(version.dwMinorVersion)
            .arg(version.dwBuildNumber);
    }
    return QStringLiteral("Windows");
}

QString BenchHost::loadAverage() {
    // Windows keeps no load average; under Wine the Linux host's is on drive Z:.
    QFile file(QStringLiteral("Z:/proc/loadavg"));
    if (!underWine() || !file.open(QIODevice::ReadOnly)) {
        return QStringLiteral("?");
    }
    return QString::fromLatin1(file.readAll()).section(QLatin1Char(' '), 0, 2);
}

void BenchHost::chooseWindowPlatform() {}

struct BusyProcessors::Children {
    HANDLE job = nullptr;
    std::vector<HANDLE> processes;
};

BusyProcessors::BusyProcessors(int processors, bool idleClass)
    : m_children(std::make_unique<Children>()) {
    m_children->job = CreateJobObjectW(nullptr, nullptr);
    if (m_children->job) {
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(m_children->job, JobObjectExtendedLimitInformation, &limits,
                                sizeof limits);
    }
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size())));
    const std::wstring command =
        L'"' + path + L"\" " + std::wstring(ChildMarker, ChildMarker + std::strlen(ChildMarker));
    const DWORD priority = idleClass ? IDLE_PRIORITY_CLASS : NORMAL_PRIORITY_CLASS;
    for (int i = 0; i < processors; ++i) {
        std::wstring line = command;  // CreateProcessW may write to it
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION child{};
        if (!CreateProcessW(path.c_str(), line.data(), nullptr, nullptr, FALSE,
                            CREATE_SUSPENDED | CREATE_NO_WINDOW | priority, nullptr, nullptr,
                            &startup, &child)) {
            continue;
        }
        if (m_children->job) {
            AssignProcessToJobObject(m_children->job, child.hProcess);
        }
        ResumeThread(child.hThread);
        CloseHandle(child.hThread);
        m_children->processes.push_back(child.hProcess);
    }
}

BusyProcessors::~BusyProcessors() {
    for (HANDLE child : m_children->processes) {
        TerminateProcess(child, 0);
        WaitForSingleObject(child, INFINITE);
        CloseHandle(child);
    }
    if (m_children->job) {
        CloseHandle(m_children->job);
    }
}

void BusyProcessors::spinIfChild(int argc, char* argv[]) {
    if (argc != 2 || std::strcmp(argv[1], ChildMarker) != 0) {
        return;
    }
    volatile unsigned long spins = 0;
    while (true) {
        spins = spins + 1;
    }
}

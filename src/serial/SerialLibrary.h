#pragma once

#include <memory>

#include "device/Wsc32.h"

// The serial library of this platform, for real devices: Qt SerialPort on Linux and other
// Unix systems (QtSerialWsc32), the Win32 communications API on Windows (WinSerialWsc32).
// CMake builds one of the two.
std::unique_ptr<Wsc32> makeSerialLibrary();

#pragma once

#include <QString>
#include <cstdint>

class Wsc32;

// The text the user sees for a serial-library result code. Code -103 asks the library for the
// operating system's own description of the last error; an unlisted code gives "Error code "
// and the number as BASIC's Str writes it.
QString SerialErrorText(int16_t code, Wsc32& library);

#pragma once

#include <QByteArray>

// A frame the code under test never sends. Written after the frames a test expects, it turns
// "nothing else arrived" into "the marker came next": no wait for a time in which nothing
// happens, and whatever went out before it, however late, is in front of it.
inline const QByteArray MarkerFrame = '\x02' + QByteArray("EE5A5A5A\r\n");

// Sends MarkerFrame to COM comNumber through the serial library, on a port of its own that it
// closes again; returns whether the library took the frame whole.
bool sendMarker(int comNumber);

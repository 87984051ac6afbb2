#pragma once

#include <QString>
#include <algorithm>
#include <cmath>

// "h:mm:ss" for a number of seconds, rounded to the second; negative counts as 0.
inline QString clockText(double seconds) {
    const qint64 whole = std::llround(std::max(seconds, 0.0));
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg((whole / 60) % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}

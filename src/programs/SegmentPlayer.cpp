#include "programs/SegmentPlayer.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <utility>

#include "core/ClockPump.h"
#include "core/Pacing.h"
#include "core/WindowServices.h"
#include "device/PortConnection.h"
#include "light/LightState.h"
#include "programs/ProgramError.h"

namespace {

// A 16-bit signed result, or a failure when the value does not fit.
int16_t checked16(int value, const char* what) {
    if (value < std::numeric_limits<int16_t>::min() ||
        value > std::numeric_limits<int16_t>::max()) {
        throw ProgramError(0, QStringLiteral("%1 overflows 16 bits").arg(QLatin1String(what)));
    }
    return static_cast<int16_t>(value);
}

// Seconds between two steps of a ramp from one value to another over the duration. The
// distance is a 16-bit value, so a distance of 32768 or more is an overflow.
double stepInterval(int16_t from, int16_t to, int16_t duration, const char* what) {
    const int distance = std::abs(static_cast<int>(from) - static_cast<int>(to));
    checked16(distance, what);
    return static_cast<double>(duration) / distance;
}

}  // namespace

SegmentPlayer::SegmentPlayer(const OperationContext& context) : m_context(context) {}

void SegmentPlayer::setFrameObserver(std::function<void(const Frame&)> observer) {
    m_onFrame = std::move(observer);
}

QString SegmentPlayer::litColour(int level) {
    const QString text =
        QStringLiteral("%1").arg(std::clamp(level, 0, MaxLevel), 2, 16, QLatin1Char('0')).toUpper();
    return text + text + text;
}

void SegmentPlayer::checkStartFrequency(int frequency) {
    if (frequency < 1) {
        throw ProgramError(0, QStringLiteral("the start frequency is %1").arg(frequency));
    }
}

int SegmentPlayer::shownLevel(int level, bool levelRamp) {
    return levelRamp ? std::clamp(level, 0, MaxLevel) : MaxLevel;
}

double SegmentPlayer::halfPeriod(int frequency) {
    if (frequency == 0) {
        throw ProgramError(0, QStringLiteral("the frequency is 0 Hz"));
    }
    return 1000.0 / frequency / 2.0 / 1000.0;
}

QString SegmentPlayer::title(int segmentId, int frequency) {
    return QStringLiteral("segment id #%1(%2Hz)").arg(segmentId).arg(frequency);
}

void SegmentPlayer::setHold(std::function<bool()> holding) {
    m_holding = std::move(holding);
}

bool SegmentPlayer::holding() const {
    return m_holding && m_holding();
}

double SegmentPlayer::hold() {
    ClockPump& clock = m_context.clock;
    const double from = clock.now();
    m_context.port.sendFrame(Frames::Lead::SOH, Frames::WholeDevice, Frames::Black);
    // A hold has no end time of its own: it waits in short pieces, each pumping events, until
    // it is released or the program is ended.
    constexpr double Piece = 0.25;
    while (keepPlaying() && holding()) {
        clock.waitUntil(clock.now() + Piece, [this] { return keepPlaying() && holding(); });
    }
    return clock.now() - from;
}

bool SegmentPlayer::keepPlaying() const {
    return m_context.state.ProgramRunning && !m_context.state.Unloading;
}

void SegmentPlayer::PlaySegment(int16_t nSegmentID, int16_t& nStartFrequency, int16_t nEndFrequency,
                                int16_t nStartBrightness, int16_t nEndBrightness,
                                int16_t nDuration) {
    ClockPump& clock = m_context.clock;
    PortConnection& port = m_context.port;

    // The box is read once: ticking it mid-segment takes effect with the next segment.
    const QString whiteAddress = WhiteCodeFor(m_context.window.whiteBoxValue());

    checkStartFrequency(nStartFrequency);
    const bool levelRamp = rampsLevel(nStartBrightness, nEndBrightness);
    int16_t level = nStartBrightness;
    double levelInterval = 0;
    if (levelRamp) {
        levelInterval = stepInterval(nStartBrightness, nEndBrightness, nDuration,
                                     "the difference of the levels");
    }
    QString colour = litColour(shownLevel(level, levelRamp));
    const int levelStep = nStartBrightness < nEndBrightness ? 1 : -1;

    const bool frequencyRamp = nStartFrequency != nEndFrequency;
    double frequencyInterval = 0;
    if (frequencyRamp) {
        frequencyInterval = stepInterval(nStartFrequency, nEndFrequency, nDuration,
                                         "the difference of the frequencies");
    }

    bool darkNext = false;
    const double start = clock.now();
    double endTime = start + nDuration;
    double half = halfPeriod(nStartFrequency);
    // The k-th step of a ramp is due no earlier than k intervals from here, so the step onto
    // the end value would fall after the end time.
    double nextFrequencyTime = frequencyRamp ? clock.now() + frequencyInterval : 0;
    double nextLevelTime = levelRamp ? clock.now() + levelInterval : 0;
    // The frame of this pass: when it was due (the frames keep to a grid of half periods from
    // the start, the first one going out at once) and the stall that came before it.
    Pacing::Wake frame{start, 0, false, 0, 0};

    while (true) {
        if (!(clock.now() < endTime) || !keepPlaying()) {
            return;
        }

        // One step of each ramp at most per pass, each due only once the clock is past its
        // deadline; the next deadline counts from now, so lateness is not caught up.
        if (levelRamp && clock.now() > nextLevelTime) {
            level = checked16(level + levelStep, "the level");
            level = std::min(level, static_cast<int16_t>(MaxLevel));
            colour = litColour(shownLevel(level, levelRamp));
            nextLevelTime = clock.now() + levelInterval;
        }
        if (frequencyRamp && clock.now() > nextFrequencyTime) {
            const int step = nStartFrequency < nEndFrequency ? 1 : -1;
            nStartFrequency = checked16(nStartFrequency + step, "the frequency");
            if (nStartFrequency == 0) {
                throw ProgramError(0, QStringLiteral("the frequency ramp reaches 0 Hz"));
            }
            half = halfPeriod(nStartFrequency);
            nextFrequencyTime = clock.now() + frequencyInterval;
        }

        m_context.window.setTitle(title(nSegmentID, nStartFrequency));

        if (darkNext) {
            port.sendFrame(Frames::Lead::SOH, Frames::WholeDevice, Frames::Black);
        } else {
            port.sendFrame(Frames::Lead::SOH, whiteAddress, colour);
        }
        if (m_onFrame) {
            m_onFrame({frame.due, !darkNext, nStartFrequency, shownLevel(level, levelRamp),
                       frame.skipped, frame.restarted});
        }
        darkNext = !darkNext;

        // The next frame is due a half period after this one was due, so neither the steps,
        // the title nor the write stretch the period. A wake so late that frames have wholly
        // passed sends the one due now, in its phase: an odd number skipped swaps lit and dark.
        const double nextDue = frame.due + half;
        clock.waitUntil(nextDue, [this] { return keepPlaying() && !holding(); });
        if (holding() && keepPlaying()) {
            // The segment stands still while held: its end and its ramps' deadlines move on by
            // the time held, and it goes on with a lit frame at the frequency and level it had.
            const double held = hold();
            endTime += held;
            nextLevelTime += held;
            nextFrequencyTime += held;
            frame = Pacing::Wake{clock.now(), 0, false, 0, 0};
            darkNext = false;
            continue;
        }
        frame = Pacing::wake(nextDue, clock.now(), half, Pacing::restartBound(2 * half));
        m_context.stalls.add(frame);
        if (frame.skipped % 2 != 0) {
            darkNext = !darkNext;
        }
    }
}

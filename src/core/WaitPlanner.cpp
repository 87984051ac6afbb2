#include "core/WaitPlanner.h"

#include <algorithm>
#include <cmath>

namespace WaitPlanner {

Step next(double now, double deadline, double margin) {
    // Written as "not before" so that a NaN deadline ends the wait, as the polling loop does.
    if (!(now < deadline)) {
        return {Step::Kind::Done, 0};
    }
    if (deadline - now <= FinalStretch) {
        return {Step::Kind::Finish, 0};
    }
    const double wakeAt = deadline - margin;
    if (wakeAt - now >= MinimumBlock) {
        return {Step::Kind::Block, wakeAt};
    }
    return {Step::Kind::Poll, 0};
}

}  // namespace WaitPlanner

WakeMargin::WakeMargin(const Limits& limits) : m_limits(limits), m_margin(limits.initial) {}

void WakeMargin::addLateness(double seconds) {
    if (std::isnan(seconds)) {
        return;
    }
    m_lateness[static_cast<size_t>(m_next)] = seconds;
    m_next = (m_next + 1) % Window;
    m_count = std::min(m_count + 1, Window);

    // The quantile of the remembered wake-ups: with 128 of them and 0.99, the second latest.
    std::array<double, Window> sorted = m_lateness;
    const auto count = static_cast<size_t>(m_count);
    const auto rank = static_cast<size_t>(
        std::clamp(std::ceil(m_limits.quantile * static_cast<double>(count)) - 1.0, 0.0,
                   static_cast<double>(count - 1)));
    std::nth_element(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(rank),
                     sorted.begin() + static_cast<std::ptrdiff_t>(count));
    m_margin = std::clamp(sorted[rank] + m_limits.headroom, m_limits.floor, m_limits.ceiling);
}

void TickSchedule::begin(double now, double interval) {
    m_active = true;
    m_origin = now;
    m_interval = interval;
    m_index = 1;
}

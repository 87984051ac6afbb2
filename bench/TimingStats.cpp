#include "TimingStats.h"

#include <algorithm>
#include <cmath>

double quantile(std::vector<double> values, double q) {
    const double rank = std::ceil(q * static_cast<double>(values.size()));
    const auto index =
        static_cast<size_t>(std::clamp(rank - 1.0, 0.0, static_cast<double>(values.size() - 1)));
    std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(index),
                     values.end());
    return values[index];
}

ErrorSummary summarize(const std::vector<double>& values) {
    ErrorSummary summary;
    summary.count = values.size();
    if (values.empty()) {
        return summary;
    }
    summary.median = quantile(values, 0.5);
    summary.p99 = quantile(values, 0.99);
    summary.max = *std::max_element(values.begin(), values.end());
    return summary;
}

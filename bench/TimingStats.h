#pragma once

#include <cstddef>
#include <vector>

// Order statistics of a set of timing errors.
struct ErrorSummary {
    size_t count = 0;
    double median = 0;
    double p99 = 0;
    double max = 0;
};

// Median, 99th percentile (nearest rank) and maximum; all 0 for no values.
ErrorSummary summarize(const std::vector<double>& values);

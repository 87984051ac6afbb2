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

// The nearest-rank quantile q (0 < q <= 1) of values, which must not be empty.
double quantile(std::vector<double> values, double q);

// Median, 99th percentile (nearest rank) and maximum; all 0 for no values.
ErrorSummary summarize(const std::vector<double>& values);

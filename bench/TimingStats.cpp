#include "TimingStats.h"

#include <algorithm>
#include <cmath>

#include "records/SessionRecord.h"

ErrorSummary summarize(const std::vector<double>& values) {
    ErrorSummary summary;
    summary.count = values.size();
    if (values.empty()) {
        return summary;
    }
    summary.median = nearestRankQuantile(values, 0.5);
    summary.p99 = nearestRankQuantile(values, 0.99);
    summary.max = *std::max_element(values.begin(), values.end());
    return summary;
}

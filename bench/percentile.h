// The p-th quantile (0 to 1) of a sample, by the nearest rank.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tonemark {

inline double Percentile(std::vector<double> v, double p) {
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<std::size_t>(p * static_cast<double>(v.size() - 1) + 0.5))];
}

}  // namespace tonemark

// The median of a benchmark's rounds.
#pragma once

#include <algorithm>
#include <vector>

namespace orvane::bench {

inline double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

}  // namespace orvane::bench

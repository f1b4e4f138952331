#pragma once

#include <algorithm>
#include <vector>

// The median of a bench's runs with their range.
struct Spread {
    double median, min, max;
};

inline Spread spreadOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return {median, values.front(), values.back()};
}

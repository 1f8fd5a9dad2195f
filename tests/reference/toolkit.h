// The 3x3 toolkit the plain forms are written with: the kernels, the
// neighbourhood of a plane element, the extended-precision kernel sum, the
// exchange-sort median and the grey mean of a pixel.
#pragma once

#include <array>
#include <cstdint>
#include <utility>

namespace korvanti::reference {

using Kernel = std::array<double, 9>;
using Neighbourhood = std::array<uint8_t, 9>;

// Previous plane row first; each value is the double nearest the decimal
// written.
inline constexpr Kernel kSharpenKernel{0, -1, 0, -1, 5, -1, 0, -1, 0};
inline constexpr Kernel kEdgeLaplacianKernel{0, -1, 0, -1, 4, -1, 0, -1, 0};
inline constexpr Kernel kBlurKernel{0.08, 0.12, 0.08, 0.12, 0.2, 0.12, 0.08, 0.12, 0.08};
inline constexpr Kernel kEmbossKernel{1, 0, 0, 0, 0, 0, 0, 0, -1};
inline constexpr Kernel kAllLaplacianKernel{-1, -1, -1, -1, 8, -1, -1, -1, -1};
inline constexpr Kernel kMovingAverageKernel{0.09, 0.09, 0.09, 0.09, 0.19, 0.09, 0.09, 0.09, 0.09};

// The nine plane values around (row, column), previous row first.
inline Neighbourhood GatherNeighbourhood(const uint8_t* plane, int32_t width, int32_t column, int32_t row)
{
    const int64_t p = int64_t{row} * width + column;
    const int64_t offsets[9] = {p - width - 1, p - width, p - width + 1, p - 1, p, p + 1,
                                p + width - 1, p + width, p + width + 1};
    Neighbourhood values;
    for (size_t k = 0; k < 9; ++k)
        values[k] = plane[offsets[k]];
    return values;
}

// Weighted sum of the neighbourhood, in extended precision, in entry order.
inline long double ApplyKernel(const Kernel& kernel, const Neighbourhood& values)
{
    long double sum = static_cast<long double>(values[0]) * static_cast<long double>(kernel[0]);
    for (size_t k = 1; k < 9; ++k)
        sum += static_cast<long double>(values[k]) * static_cast<long double>(kernel[k]);
    return sum;
}

// Eight exchange passes over a copy; element 4 of the sorted values.
inline uint8_t MedianOfNine(Neighbourhood values)
{
    for (int pass = 0; pass < 8; ++pass)
        for (size_t j = 0; j < 8; ++j)
            if (values[j + 1] < values[j])
                std::swap(values[j], values[j + 1]);
    return values[4];
}

// Replaces the three values of plane element i by their truncated mean.
inline void GreyPixel(uint8_t* plane0, uint8_t* plane1, uint8_t* plane2, int64_t i)
{
    const auto mean = static_cast<uint8_t>((plane0[i] + plane1[i] + plane2[i]) / 3);
    plane0[i] = plane1[i] = plane2[i] = mean;
}

} // namespace korvanti::reference

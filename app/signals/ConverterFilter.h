#pragma once

#include <vector>

namespace signals {

// The anti-alias filter of a recording converter: linear phase, flat to about 0.43 of the sample
// rate and closed from 0.47, so generated material carries no energy in the last few percent
// below Nyquist, as no real recording does. Zero delay (the filter is centred).
std::vector<double> BandLimitLikeConverter(const std::vector<double>& samples);

}  // namespace signals

#pragma once

// A stereo rendering in 32-bit and 64-bit form, as one platform's build writes it for another's
// to compare with: the frame count, then each channel's samples, in the machine's byte order
// (both test platforms are little-endian).

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testhost {

struct StereoRendering {
  std::vector<float> left32, right32;
  std::vector<double> left64, right64;
};

bool WriteRendering(const std::string& path, const StereoRendering& rendering);
// Nothing when the file is missing, short or its channels differ in length.
std::optional<StereoRendering> ReadRendering(const std::string& path);

// The largest absolute difference between two channels; infinite when their lengths differ or
// either holds a NaN.
template <typename Sample>
double MaxDifference(const std::vector<Sample>& a, const std::vector<Sample>& b);

}  // namespace testhost

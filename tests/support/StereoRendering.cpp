#include "support/StereoRendering.h"

#include <algorithm>
#include <cmath>
#include <fstream>

namespace testhost {

namespace {

template <typename Sample>
void Put(std::ofstream& out, const std::vector<Sample>& channel) {
  out.write(reinterpret_cast<const char*>(channel.data()),
            static_cast<std::streamsize>(channel.size() * sizeof(Sample)));
}

template <typename Sample>
bool Get(std::ifstream& in, std::vector<Sample>& channel, uint32_t frames) {
  channel.resize(frames);
  in.read(reinterpret_cast<char*>(channel.data()),
          static_cast<std::streamsize>(channel.size() * sizeof(Sample)));
  return static_cast<bool>(in);
}

}  // namespace

bool WriteRendering(const std::string& path, const StereoRendering& r) {
  const size_t frames = r.left32.size();
  if (r.right32.size() != frames || r.left64.size() != frames || r.right64.size() != frames)
    return false;
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  const uint32_t count = static_cast<uint32_t>(frames);
  out.write(reinterpret_cast<const char*>(&count), sizeof(count));
  Put(out, r.left32);
  Put(out, r.right32);
  Put(out, r.left64);
  Put(out, r.right64);
  return out.good();
}

std::optional<StereoRendering> ReadRendering(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  uint32_t frames = 0;
  if (!in.read(reinterpret_cast<char*>(&frames), sizeof(frames))) return std::nullopt;
  StereoRendering r;
  if (!Get(in, r.left32, frames) || !Get(in, r.right32, frames) || !Get(in, r.left64, frames) ||
      !Get(in, r.right64, frames))
    return std::nullopt;
  return r;
}

template <typename Sample>
double MaxDifference(const std::vector<Sample>& a, const std::vector<Sample>& b) {
  if (a.size() != b.size()) return INFINITY;
  double largest = 0.0;
  for (size_t i = 0; i < a.size(); ++i) {
    const double d = std::abs(static_cast<double>(a[i]) - static_cast<double>(b[i]));
    if (std::isnan(d)) return INFINITY;  // a NaN on either side is as far off as can be
    largest = std::max(largest, d);
  }
  return largest;
}

template double MaxDifference<float>(const std::vector<float>&, const std::vector<float>&);
template double MaxDifference<double>(const std::vector<double>&, const std::vector<double>&);

}  // namespace testhost

#include "editor/WebViewBounds.h"

#include <cmath>

namespace web_view_bounds {

PixelRect Scaled(float x, float y, float w, float h, unsigned dpi) {
  const float s = static_cast<float>(dpi == 0 ? kDefaultDpi : dpi) / static_cast<float>(kDefaultDpi);
  const auto up = [](float v) { return static_cast<int32_t>(std::ceil(v)); };
  return PixelRect{up(s * x), up(s * y), up(s * (x + w)) + 1, up(s * (y + h)) + 1};
}

PixelRect Fitted(const PixelRect& scaled, const PixelRect& parentClient) {
  return parentClient.Empty() ? scaled : parentClient;
}

}  // namespace web_view_bounds

#pragma once

#include <cstdint>

// The web view's rectangle in the host's window, in device pixels. Pure arithmetic, so it is
// checked on every platform.
namespace web_view_bounds {

struct PixelRect {
  int32_t left = 0, top = 0, right = 0, bottom = 0;
  bool Empty() const { return right <= left || bottom <= top; }
  bool operator==(const PixelRect&) const = default;
};

inline constexpr unsigned kDefaultDpi = 96;

// (x, y, w, h) in the host's logical pixels scaled by dpi / 96 and rounded up, plus one pixel on
// the right and bottom so that rounding never leaves an uncovered edge; single precision
// throughout. A dpi of 0 (unknown) counts as 96.
PixelRect Scaled(float x, float y, float w, float h, unsigned dpi);

// The parent window's client area wins whenever it has one: the view always fills the window.
PixelRect Fitted(const PixelRect& scaled, const PixelRect& parentClient);

}  // namespace web_view_bounds

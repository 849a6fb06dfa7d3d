// The Windows web view's rectangle: DPI scaling and the parent window's client area.
#include <gtest/gtest.h>

#include "editor/WebViewBounds.h"

namespace {

using web_view_bounds::Fitted;
using web_view_bounds::PixelRect;
using web_view_bounds::Scaled;

TEST(WebViewBounds, At96DpiOnlyTheExtraEdgePixelIsAdded) {
  EXPECT_EQ(Scaled(0, 0, 1440, 604, 96), (PixelRect{0, 0, 1441, 605}));
  EXPECT_EQ(Scaled(10, 20, 100, 50, 96), (PixelRect{10, 20, 111, 71}));
}

TEST(WebViewBounds, At144DpiEverySideScalesByOneAndAHalfRoundedUp) {
  EXPECT_EQ(Scaled(0, 0, 100, 50, 144), (PixelRect{0, 0, 151, 76}));
  EXPECT_EQ(Scaled(1, 1, 101, 51, 144), (PixelRect{2, 2, 154, 79}));  // 1.5 -> 2, 153 -> 154
}

TEST(WebViewBounds, UnknownDpiCountsAsUnscaled) {
  EXPECT_EQ(Scaled(0, 0, 100, 50, 0), Scaled(0, 0, 100, 50, 96));
}

TEST(WebViewBounds, ParentClientAreaReplacesTheComputedBounds) {
  const PixelRect scaled = Scaled(0, 0, 100, 50, 144);
  EXPECT_EQ(Fitted(scaled, PixelRect{0, 0, 1440, 604}), (PixelRect{0, 0, 1440, 604}));
  EXPECT_EQ(Fitted(scaled, PixelRect{}), scaled);                 // empty: nothing to fill
  EXPECT_EQ(Fitted(scaled, PixelRect{0, 0, 1440, 0}), scaled);    // no height
  EXPECT_EQ(Fitted(scaled, PixelRect{0, 0, -5, 604}), scaled);    // no width
}

}  // namespace

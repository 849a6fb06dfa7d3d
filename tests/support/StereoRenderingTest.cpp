// The file one platform's test host leaves for another's and the comparison made with it: a
// comparison that missed a NaN or a short file would let a broken Windows module pass.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "support/ScratchDirectory.h"
#include "support/StereoRendering.h"

namespace {

using namespace testhost;

StereoRendering Sample() {
  return {{0.5f, -0.25f, 1.0f}, {0.0f, 0.125f, -1.0f}, {0.1, -0.2, 0.3}, {1e-300, -0.0, 0.75}};
}

TEST(RenderFile, RoundTripKeepsEverySampleExactly) {
  ScratchDirectory dir;
  const std::string path = dir.File("r.bin");
  ASSERT_TRUE(WriteRendering(path, Sample()));
  const std::optional<StereoRendering> read = ReadRendering(path);
  ASSERT_TRUE(read);
  EXPECT_EQ(read->left32, Sample().left32);
  EXPECT_EQ(read->right32, Sample().right32);
  EXPECT_EQ(read->left64, Sample().left64);
  EXPECT_EQ(read->right64, Sample().right64);
}

TEST(RenderFile, MissingShortOrUnevenRenderingsAreRefused) {
  ScratchDirectory dir;
  EXPECT_FALSE(ReadRendering(dir.File("none.bin")));
  const std::string path = dir.File("short.bin");
  ASSERT_TRUE(WriteRendering(path, Sample()));
  std::filesystem::resize_file(path, std::filesystem::file_size(path) - 1);
  EXPECT_FALSE(ReadRendering(path));
  StereoRendering uneven = Sample();
  uneven.right64.pop_back();
  EXPECT_FALSE(WriteRendering(path, uneven));
}

TEST(RenderFile, DifferenceIsTheLargestAndInfiniteForNaNOrLength) {
  const std::vector<double> a = {0.0, 1.0, -1.0};
  EXPECT_EQ(MaxDifference(a, a), 0.0);
  EXPECT_DOUBLE_EQ(MaxDifference(a, {0.0, 1.25, -1.5}), 0.5);
  EXPECT_TRUE(std::isinf(MaxDifference(a, {0.0, NAN, -1.0})));
  EXPECT_TRUE(std::isinf(MaxDifference(a, {0.0, 1.0})));
  EXPECT_TRUE(std::isinf(MaxDifference<float>({NAN}, {NAN})));
}

}  // namespace

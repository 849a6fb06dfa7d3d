// The texts the plug-in sends to its page: meter message, sample rate, parameter description,
// output history, base64.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "core/ZARN.h"
#include "editor/Base64.h"
#include "editor/PageMessages.h"

namespace {

// A snapshot whose every value differs, with awkward decimals and signs.
MeterSnapshot Sample() {
  MeterSnapshot s;
  auto* values = reinterpret_cast<unsigned char*>(&s);
  for (int i = 0; i < kMeterFieldCount; ++i) {
    const MeterField& f = kMeterFields[i];
    if (f.isBool) continue;
    auto* floats = reinterpret_cast<float*>(values + f.offset);
    for (int k = 0; k < f.count; ++k) floats[k] = static_cast<float>((i * 37 + k * 11) % 200 - 100) / 7.0f;
  }
  s.smoothValidConflict = true;
  return s;
}

// The expected text, built independently with printf in the "C" locale from the key table.
std::string ExpectedMeterText(const MeterSnapshot& s) {
  struct Entry {
    const char* key;
    const float* values;
    int count;
    const char* format;
  };
  const Entry entries[] = {
      {"inL", &s.inL, 1, "%.3f"}, {"inR", &s.inR, 1, "%.3f"}, {"vuL", &s.vuL, 1, "%.3f"},
      {"vuR", &s.vuR, 1, "%.3f"}, {"grL", &s.grL, 1, "%.3f"}, {"grR", &s.grR, 1, "%.3f"},
      {"lufsL", &s.lufsL, 1, "%.3f"}, {"lufsR", &s.lufsR, 1, "%.3f"}, {"lufsM", &s.lufsM, 1, "%.3f"},
      {"lufsS", &s.lufsS, 1, "%.3f"}, {"lufsI", &s.lufsI, 1, "%.3f"}, {"tpL", &s.tpL, 1, "%.3f"},
      {"tpR", &s.tpR, 1, "%.3f"}, {"gespL", &s.gespL, 1, "%.4f"}, {"gespR", &s.gespR, 1, "%.4f"},
      {"lnsL", &s.lnsL, 1, "%.4f"}, {"lnsR", &s.lnsR, 1, "%.4f"}, {"heiL", &s.heiL, 1, "%.4f"},
      {"heiR", &s.heiR, 1, "%.4f"}, {"tpsL", &s.tpsL, 1, "%.4f"}, {"tpsR", &s.tpsR, 1, "%.4f"},
      {"sgdDb", &s.sgdDb, 1, "%.3f"}, {"sgdMaxDb", &s.sgdMaxDb, 1, "%.3f"},
      {"corrR", &s.corrR, 1, "%.4f"}, {"pwmdL", &s.pwmdL, 1, "%.4f"}, {"pwmdR", &s.pwmdR, 1, "%.4f"},
      {"ehsL", &s.ehsL, 1, "%.4f"}, {"ehsR", &s.ehsR, 1, "%.4f"}, {"ascL", &s.ascL, 1, "%.4f"},
      {"ascR", &s.ascR, 1, "%.4f"}, {"deltaSfmL", &s.deltaSfmL, 1, "%.4f"},
      {"deltaSfmR", &s.deltaSfmR, 1, "%.4f"}, {"nmrL", &s.nmrL, 1, "%.2f"}, {"nmrR", &s.nmrR, 1, "%.2f"},
      {"psrOut", &s.psrOut, 1, "%.2f"}, {"psrIn", &s.psrIn, 1, "%.2f"}, {"deltaPsr", &s.deltaPsr, 1, "%.2f"},
      {"smoothValidConflict", nullptr, 0, nullptr},
      {"multibandCorr", s.multibandCorr, 6, "%.3f"}, {"causeBands", s.causeBands, 6, "%.4f"},
      {"codecIspRisk", &s.codecIspRisk, 1, "%.3f"}, {"srcRisk", &s.srcRisk, 1, "%.3f"},
      {"effCeilDb", &s.effCeilDb, 1, "%.2f"}, {"lufsI_in", &s.lufsI_in, 1, "%.3f"},
      {"punchLowDb", &s.punchLowDb, 1, "%.3f"}, {"punchMidDb", &s.punchMidDb, 1, "%.3f"},
      {"punchHighDb", &s.punchHighDb, 1, "%.3f"}, {"deltaLfDb", &s.deltaLfDb, 1, "%.3f"},
      {"deltaHfDb", &s.deltaHfDb, 1, "%.3f"}, {"deltaWidthPct", &s.deltaWidthPct, 1, "%.2f"},
      {"mlPreAttenDb", &s.mlPreAttenDb, 1, "%.3f"}, {"lra", &s.lra, 1, "%.2f"},
      {"effRelMsL", &s.effRelMsL, 1, "%.1f"}, {"effRelMsR", &s.effRelMsR, 1, "%.1f"},
      {"holdFracL", &s.holdFracL, 1, "%.3f"}, {"holdFracR", &s.holdFracR, 1, "%.3f"},
      {"charThdPct", &s.charThdPct, 1, "%.4f"}, {"loudClipPct", &s.loudClipPct, 1, "%.2f"},
      {"loudThdPct", &s.loudThdPct, 1, "%.3f"}, {"insistInDb", &s.insistInDb, 1, "%.2f"},
      {"insistOutDb", &s.insistOutDb, 1, "%.2f"}, {"insistWavePost", s.insistWavePost, 32, "%.3f"},
      {"insistWavePre", s.insistWavePre, 32, "%.3f"},
  };
  std::setlocale(LC_NUMERIC, "C");
  std::string text = "{\"t\":\"meters\"";
  char number[64];
  for (const Entry& e : entries) {
    text += ",\"" + std::string(e.key) + "\":";
    if (!e.values) {
      text += s.smoothValidConflict ? "true" : "false";
      continue;
    }
    if (e.count > 1) text += "[";
    for (int k = 0; k < e.count; ++k) {
      if (k > 0) text += ",";
      std::snprintf(number, sizeof number, e.format, static_cast<double>(e.values[k]));
      text += number;
    }
    if (e.count > 1) text += "]";
  }
  return text + "}";
}

TEST(PageMessages, MeterMessageMatchesTheKeyTableByteForByte) {
  const MeterSnapshot s = Sample();
  const std::string text = page_messages::MeterMessage(s);
  EXPECT_EQ(text, ExpectedMeterText(s));
  EXPECT_NE(text.find("\"smoothValidConflict\":true,"), std::string::npos);
  EXPECT_EQ(text.find(' '), std::string::npos);
  EXPECT_LE(text.size(), page_messages::kMaxMeterMessageLength);
}

TEST(PageMessages, NonFiniteOrOversizedReadingsGiveTheEmptyMeterMessage) {
  MeterSnapshot s = Sample();
  s.lufsI = std::numeric_limits<float>::quiet_NaN();
  EXPECT_EQ(page_messages::MeterMessage(s), "{\"t\":\"meters\"}");
  s = Sample();
  s.insistWavePre[7] = -std::numeric_limits<float>::infinity();
  EXPECT_EQ(page_messages::MeterMessage(s), "{\"t\":\"meters\"}");
  // Huge wave values stop the wave texts early instead of overflowing.
  s = Sample();
  for (float& v : s.insistWavePost) v = 1e30f;
  const std::string text = page_messages::MeterMessage(s);
  EXPECT_LE(text.size(), page_messages::kMaxMeterMessageLength);
  EXPECT_NE(text.find("\"insistWavePost\":["), std::string::npos);
}

TEST(PageMessages, SampleRateMessage) {
  const std::string text = page_messages::SampleRateMessage(44100);
  EXPECT_EQ(text, "{\"t\":\"srChange\",\"sr\":44100}");
  EXPECT_EQ(text.size(), 27u);
}

TEST(PageMessages, ParameterDescriptionIsSortedCompactJson) {
  ZARN plugin;
  const std::string text = page_messages::ParameterDescription(plugin);
  EXPECT_EQ(text.rfind("{\"id\":\"params\",\"params\":[", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 2), "]}");
  EXPECT_NE(text.find("{\"default\":0.0,\"display_type\":0,\"id\":0,\"max\":12.0,\"min\":-6.0,"
                      "\"name\":\"Drive L\",\"rate\":\"control\",\"type\":\"float\"}"),
            std::string::npos);
  EXPECT_NE(text.find("\"name\":\"Release\""), std::string::npos);
}

TEST(PageMessages, OutputHistory) {
  EXPECT_EQ(page_messages::OutputHistory(48000.0, {}, {}), (std::vector<float>{48000.0f, 0.0f}));
  EXPECT_EQ(page_messages::OutputHistory(44100.9, {0.5f, -0.25f}, {1.0f, 2.0f}),
            (std::vector<float>{44100.0f, 2.0f, 0.5f, -0.25f, 1.0f, 2.0f}));
}

// After the capture ring has wrapped, the history starts at the oldest sample.
TEST(PageMessages, OutputHistoryFromTheEngineIsOldestFirstAfterAWrap) {
  LimiterEngine engine;
  ASSERT_TRUE(engine.Prepare(8000.0));  // capacity 24000
  const int capacity = engine.Capture().Capacity();
  ASSERT_EQ(capacity, 24000);
  const int frames = capacity + 1000;
  std::vector<double> ramp(static_cast<size_t>(frames)), outL(ramp.size()), outR(ramp.size());
  for (int i = 0; i < frames; ++i) ramp[static_cast<size_t>(i)] = 1e-5 * (i % 1000);
  engine.Process(ramp.data(), ramp.data(), outL.data(), outR.data(), frames, false);
  std::vector<float> left(static_cast<size_t>(capacity)), right(left.size());
  ASSERT_EQ(engine.Capture().CopyLatest(left.data(), right.data(), capacity), capacity);
  for (int i = 0; i < capacity; ++i) {
    ASSERT_EQ(left[static_cast<size_t>(i)], static_cast<float>(outL[static_cast<size_t>(i + 1000)])) << i;
    ASSERT_EQ(right[static_cast<size_t>(i)], static_cast<float>(outR[static_cast<size_t>(i + 1000)])) << i;
  }
}

TEST(Base64, EncodesWithPaddingAndDecodesStrictly) {
  const uint8_t bytes[] = {0xFF, 0x00, 0x7F};
  EXPECT_EQ(Base64Encode(bytes, 1), "/w==");
  EXPECT_EQ(Base64Encode(bytes, 2), "/wA=");
  EXPECT_EQ(Base64Encode(bytes, 3), "/wB/");
  EXPECT_EQ(Base64Encode("Man", 3), "TWFu");
  EXPECT_EQ(Base64Encode(nullptr, 0), "");
  EXPECT_EQ(Base64Decode("/w==").value(), (std::vector<uint8_t>{0xFF}));
  EXPECT_EQ(Base64Decode("/wA=").value(), (std::vector<uint8_t>{0xFF, 0x00}));
  EXPECT_EQ(Base64Decode("").value(), std::vector<uint8_t>{});
  for (const char* bad : {"==", "=", "abc", "a===", "ab=c", "ab==cd==", "a b=", "****", "A==="})
    EXPECT_FALSE(Base64Decode(bad).has_value()) << bad;
  std::vector<uint8_t> all(256);
  for (int i = 0; i < 256; ++i) all[static_cast<size_t>(i)] = static_cast<uint8_t>(i);
  for (size_t n = 0; n <= all.size(); n += 37)
    EXPECT_EQ(Base64Decode(Base64Encode(all.data(), n)).value(),
              std::vector<uint8_t>(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(n)));
}

}  // namespace

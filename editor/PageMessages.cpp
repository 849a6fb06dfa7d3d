#include "editor/PageMessages.h"

#include <nlohmann/json.hpp>

#include "editor/NumberText.h"
#include "host/IFxAPIBase.h"

namespace page_messages {

namespace {

// Appends "key":value with the given decimals, and the separator before it.
class JsonText {
 public:
  explicit JsonText(std::string& out) : out_(out) {}

  void Number(const char* key, float value, int decimals) {
    Key(key);
    AppendFixed(out_, static_cast<double>(value), decimals);
  }
  void Boolean(const char* key, bool value) {
    Key(key);
    out_ += value ? "true" : "false";
  }
  void Array(const char* key, const float* values, int count, int decimals) {
    Key(key);
    out_ += '[';
    for (int i = 0; i < count; ++i) {
      if (i > 0) out_ += ',';
      AppendFixed(out_, static_cast<double>(values[i]), decimals);
    }
    out_ += ']';
  }
  void Raw(const char* key, const std::string& text) {
    Key(key);
    out_ += text;
  }

 private:
  void Key(const char* key) {
    out_ += ',';
    out_ += '"';
    out_ += key;
    out_ += "\":";
  }
  std::string& out_;
};

// The two waveforms, filled in step and cut off (whole values only) before either text passes
// 488 characters.
void WaveTexts(const MeterSnapshot& s, std::string& post, std::string& pre) {
  constexpr size_t kLimit = 488;
  post = "[";
  pre = "[";
  for (int i = 0; i < MeterSnapshot::kWaveLength; ++i) {
    if (post.size() - 1 > kLimit || pre.size() - 1 > kLimit) break;
    if (i > 0) {
      post += ',';
      pre += ',';
    }
    AppendFixed(post, static_cast<double>(s.insistWavePost[i]), 3);
    AppendFixed(pre, static_cast<double>(s.insistWavePre[i]), 3);
  }
  post += ']';
  pre += ']';
}

bool HoldsNonFinite(const std::string& text) {
  return text.find("nan") != std::string::npos || text.find("inf") != std::string::npos;
}

}  // namespace

std::string MeterMessage(const MeterSnapshot& s) {
  std::string post, pre;
  WaveTexts(s, post, pre);

  std::string out = "{\"t\":\"meters\"";
  out.reserve(4096);
  JsonText j(out);
  j.Number("inL", s.inL, 3);
  j.Number("inR", s.inR, 3);
  j.Number("vuL", s.vuL, 3);
  j.Number("vuR", s.vuR, 3);
  j.Number("grL", s.grL, 3);
  j.Number("grR", s.grR, 3);
  j.Number("lufsL", s.lufsL, 3);
  j.Number("lufsR", s.lufsR, 3);
  j.Number("lufsM", s.lufsM, 3);
  j.Number("lufsS", s.lufsS, 3);
  j.Number("lufsI", s.lufsI, 3);
  j.Number("tpL", s.tpL, 3);
  j.Number("tpR", s.tpR, 3);
  j.Number("gespL", s.gespL, 4);
  j.Number("gespR", s.gespR, 4);
  j.Number("lnsL", s.lnsL, 4);
  j.Number("lnsR", s.lnsR, 4);
  j.Number("heiL", s.heiL, 4);
  j.Number("heiR", s.heiR, 4);
  j.Number("tpsL", s.tpsL, 4);
  j.Number("tpsR", s.tpsR, 4);
  j.Number("sgdDb", s.sgdDb, 3);
  j.Number("sgdMaxDb", s.sgdMaxDb, 3);
  j.Number("corrR", s.corrR, 4);
  j.Number("pwmdL", s.pwmdL, 4);
  j.Number("pwmdR", s.pwmdR, 4);
  j.Number("ehsL", s.ehsL, 4);
  j.Number("ehsR", s.ehsR, 4);
  j.Number("ascL", s.ascL, 4);
  j.Number("ascR", s.ascR, 4);
  j.Number("deltaSfmL", s.deltaSfmL, 4);
  j.Number("deltaSfmR", s.deltaSfmR, 4);
  j.Number("nmrL", s.nmrL, 2);
  j.Number("nmrR", s.nmrR, 2);
  j.Number("psrOut", s.psrOut, 2);
  j.Number("psrIn", s.psrIn, 2);
  j.Number("deltaPsr", s.deltaPsr, 2);
  j.Boolean("smoothValidConflict", s.smoothValidConflict);
  j.Array("multibandCorr", s.multibandCorr, MeterSnapshot::kBands, 3);
  j.Array("causeBands", s.causeBands, MeterSnapshot::kBands, 4);
  j.Number("codecIspRisk", s.codecIspRisk, 3);
  j.Number("srcRisk", s.srcRisk, 3);
  j.Number("effCeilDb", s.effCeilDb, 2);
  j.Number("lufsI_in", s.lufsI_in, 3);
  j.Number("punchLowDb", s.punchLowDb, 3);
  j.Number("punchMidDb", s.punchMidDb, 3);
  j.Number("punchHighDb", s.punchHighDb, 3);
  j.Number("deltaLfDb", s.deltaLfDb, 3);
  j.Number("deltaHfDb", s.deltaHfDb, 3);
  j.Number("deltaWidthPct", s.deltaWidthPct, 2);
  j.Number("mlPreAttenDb", s.mlPreAttenDb, 3);
  j.Number("lra", s.lra, 2);
  j.Number("effRelMsL", s.effRelMsL, 1);
  j.Number("effRelMsR", s.effRelMsR, 1);
  j.Number("holdFracL", s.holdFracL, 3);
  j.Number("holdFracR", s.holdFracR, 3);
  j.Number("charThdPct", s.charThdPct, 4);
  j.Number("loudClipPct", s.loudClipPct, 2);
  j.Number("loudThdPct", s.loudThdPct, 3);
  j.Number("insistInDb", s.insistInDb, 2);
  j.Number("insistOutDb", s.insistOutDb, 2);
  j.Raw("insistWavePost", post);
  j.Raw("insistWavePre", pre);
  out += '}';

  if (out.size() > kMaxMeterMessageLength || HoldsNonFinite(out)) return kEmptyMeterMessage;
  return out;
}

std::string SampleRateMessage(uint32_t sampleRate) {
  return "{\"t\":\"srChange\",\"sr\":" + std::to_string(sampleRate) + "}";
}

std::string ParameterDescription(const IFxAPIBase& plugin) {
  nlohmann::json params = nlohmann::json::array();
  for (int i = 0; i < plugin.NParams(); ++i) {
    std::string text;
    plugin.GetParam(i)->DescribeJson(text, i);
    nlohmann::json element = nlohmann::json::parse(text, nullptr, false);
    if (!element.is_discarded()) params.push_back(std::move(element));
  }
  const nlohmann::json message = {{"id", "params"}, {"params", std::move(params)}};
  return message.dump();
}

std::vector<float> OutputHistory(double sampleRate, const std::vector<float>& left,
                                 const std::vector<float>& right) {
  const float rate = static_cast<float>(static_cast<int64_t>(sampleRate));
  const size_t n = std::min(left.size(), right.size());
  std::vector<float> out;
  out.reserve(2 + 2 * n);
  out.push_back(rate);
  out.push_back(static_cast<float>(n));
  out.insert(out.end(), left.begin(), left.begin() + static_cast<std::ptrdiff_t>(n));
  out.insert(out.end(), right.begin(), right.begin() + static_cast<std::ptrdiff_t>(n));
  return out;
}

}  // namespace page_messages

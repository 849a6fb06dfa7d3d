#include "app/report/ReportPictures.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "app/report/ReportFormat.h"
#include "editor/NumberText.h"

namespace report_pictures {

namespace {

using report_format::Clock;
using report_format::Escape;
using report_format::Number;

// Units of about a quarter millimetre on an A4 page: labels of 14 print at some 10 pt.
constexpr double kWidth = 720.0, kHeight = 160.0;
constexpr double kLeft = 78.0, kRight = 698.0, kTop = 10.0, kBottom = 134.0;
constexpr const char* kInputColour = "#b9c3cf";
constexpr const char* kMasterColour = "#1f4e8c";
constexpr const char* kReductionColour = "#c8553d";
constexpr const char* kTargetColour = "#d9822b";
constexpr const char* kGridColour = "#e3e7ec";
constexpr const char* kTextColour = "#4a5563";

// Coordinates to a tenth of a unit: small files, the same bytes every run.
std::string At(double value) { return Fixed(value, 1); }

// Appends one step of a path: "L12.5,40.0".
void Step(std::string& d, char command, double x, double y) {
  d += command;
  d += At(x);
  d += ',';
  d += At(y);
}

struct Axis {
  double from, to;  // values at the ends of the plot
  double pixelFrom, pixelTo;
  double Map(double value) const {
    const double share = to != from ? (value - from) / (to - from) : 0.0;
    return pixelFrom + std::clamp(share, 0.0, 1.0) * (pixelTo - pixelFrom);
  }
};

class Svg {
 public:
  explicit Svg(const std::string& label) {
    text_ = "<svg viewBox=\"0 0 " + At(kWidth) + " " + At(kHeight) +
            "\" role=\"img\" aria-label=\"" + Escape(label) +
            "\" font-family=\"inherit\" font-size=\"14\" class=\"chart\">";
  }
  Svg& operator<<(const std::string& element) {
    text_ += element;
    return *this;
  }
  std::string Close() { return text_ + "</svg>"; }

 private:
  std::string text_;
};

std::string Line(double x1, double y1, double x2, double y2, const std::string& style) {
  return "<line x1=\"" + At(x1) + "\" y1=\"" + At(y1) + "\" x2=\"" + At(x2) + "\" y2=\"" + At(y2) +
         "\" " + style + "/>";
}

std::string Label(double x, double y, const std::string& anchor, const std::string& text,
                  const std::string& fill = kTextColour) {
  return "<text x=\"" + At(x) + "\" y=\"" + At(y) + "\" text-anchor=\"" + anchor + "\" fill=\"" + fill +
         "\">" + Escape(text) + "</text>";
}

// A label inside the plot, kept legible over the curves by a white halo.
std::string PlotLabel(double x, double y, const std::string& text, const std::string& fill) {
  return "<text x=\"" + At(x) + "\" y=\"" + At(y) + "\" text-anchor=\"end\" fill=\"" + fill +
         "\" stroke=\"#fff\" stroke-width=\"3\" paint-order=\"stroke\">" + Escape(text) + "</text>";
}

// A step that puts at most `most` ticks on `span`.
double TickStep(double span, const std::vector<double>& steps, int most) {
  for (const double step : steps)
    if (span / step <= most) return step;
  return steps.back();
}

// Time along the bottom in m:ss, with a light grid.
std::string TimeAxis(const Axis& time) {
  const double step = TickStep(time.to, {1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 900, 1800, 3600}, 8);
  std::string out;
  for (double t = 0.0; t <= time.to + 1e-9; t += step) {
    const double x = time.Map(t);
    out += Line(x, kTop, x, kBottom, std::string("stroke=\"") + kGridColour + "\"");
    out += Line(x, kBottom, x, kBottom + 4, std::string("stroke=\"") + kTextColour + "\"");
    out += Label(x, kBottom + 20, "middle", Clock(t));
  }
  return out;
}

// A value tick with its grid line across the plot.
std::string ValueTick(double y, const std::string& text, bool strong = false) {
  return Line(kLeft, y, kRight, y, std::string("stroke=\"") + (strong ? "#aab3bf" : kGridColour) + "\"") +
         Label(kLeft - 7, y + 5, "end", text);
}

std::string Frame() {
  return "<rect x=\"" + At(kLeft) + "\" y=\"" + At(kTop) + "\" width=\"" + At(kRight - kLeft) +
         "\" height=\"" + At(kBottom - kTop) + "\" fill=\"none\" stroke=\"#aab3bf\"/>";
}

std::string NoData(const std::string& why) {
  return Label((kLeft + kRight) / 2, (kTop + kBottom) / 2 + 4, "middle", why);
}

Axis TimeOf(const TrackSeries& series) { return {0.0, std::max(series.seconds, 1e-3), kLeft, kRight}; }

// The x of column `i` of `count` spread evenly over the track: its middle.
double ColumnX(size_t i, size_t count) {
  return kLeft + (static_cast<double>(i) + 0.5) / static_cast<double>(count) * (kRight - kLeft);
}

// The band between the lows and highs, as one filled path.
std::string EnvelopePath(const Envelope& envelope, const Axis& amplitude, const char* colour,
                         double opacity = 1.0) {
  const size_t count = envelope.high.size();
  if (count == 0) return {};
  std::string d;
  Step(d, 'M', kLeft, amplitude.Map(envelope.high[0]));
  for (size_t i = 0; i < count; ++i) Step(d, 'L', ColumnX(i, count), amplitude.Map(envelope.high[i]));
  Step(d, 'L', kRight, amplitude.Map(envelope.high[count - 1]));
  Step(d, 'L', kRight, amplitude.Map(envelope.low[count - 1]));
  for (size_t i = count; i-- > 0;) Step(d, 'L', ColumnX(i, count), amplitude.Map(envelope.low[i]));
  Step(d, 'L', kLeft, amplitude.Map(envelope.low[0]));
  d += 'Z';
  return "<path d=\"" + d + "\" fill=\"" + colour + "\" fill-opacity=\"" + At(opacity) + "\"/>";
}

std::string LoudnessLine(const std::vector<LoudnessPoint>& points, const Axis& time, const Axis& lufs,
                         const char* colour, double width) {
  if (points.empty()) return {};
  std::string d;
  for (const LoudnessPoint& point : points) Step(d, d.empty() ? 'M' : 'L', time.Map(point.seconds), lufs.Map(point.lufs));
  return "<path d=\"" + d + "\" fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"" + At(width) +
         "\" stroke-linejoin=\"round\"/>";
}

}  // namespace

std::string Waveform(const TrackSeries& series, double ceilingDbtp) {
  Svg svg("Waveform of the input and the master");
  const Axis amplitude{-1.0, 1.0, kBottom, kTop};
  const double mid = amplitude.Map(0.0);
  svg << ValueTick(amplitude.Map(1.0), "0 dB") << ValueTick(amplitude.Map(0.5), report_format::kMinus + std::string("6 dB"))
      << ValueTick(mid, report_format::kMinus + std::string("\u221E"), true)
      << ValueTick(amplitude.Map(-0.5), report_format::kMinus + std::string("6 dB"))
      << ValueTick(amplitude.Map(-1.0), "0 dB") << TimeAxis(TimeOf(series));
  // The input over the master, see-through: a quieter input shows as a lighter core inside the
  // master, a louder one as grey beyond it.
  svg << EnvelopePath(series.output, amplitude, kMasterColour)
      << EnvelopePath(series.input, amplitude, kInputColour, 0.6);
  const double ceiling = std::pow(10.0, ceilingDbtp / 20.0);
  const std::string dashed = std::string("stroke=\"") + kTargetColour + "\" stroke-dasharray=\"5 4\"";
  svg << Line(kLeft, amplitude.Map(ceiling), kRight, amplitude.Map(ceiling), dashed)
      << Line(kLeft, amplitude.Map(-ceiling), kRight, amplitude.Map(-ceiling), dashed);
  svg << PlotLabel(kRight - 4, amplitude.Map(ceiling) - 5, "ceiling " + Number(ceilingDbtp, 1) + " dBTP",
                   kTargetColour);
  svg << Frame();
  return svg.Close();
}

std::string GainReduction(const TrackSeries& series) {
  Svg svg("Gain reduction over the track");
  double most = 0.0;
  for (const float db : series.reductionDb) most = std::max(most, static_cast<double>(db));
  double range = 1.0;
  for (const double nice : {1.0, 2.0, 3.0, 4.0, 6.0, 8.0, 10.0, 12.0, 15.0, 20.0, 30.0, 40.0, 60.0}) {
    range = nice;
    if (most <= nice) break;
  }
  const Axis db{0.0, range, kTop, kBottom};
  const double step = TickStep(range, {0.5, 1, 2, 3, 5, 10, 20}, 5);
  for (double v = 0.0; v <= range + 1e-9; v += step)
    svg << ValueTick(db.Map(v), v == 0.0 ? "0 dB" : report_format::kMinus + Number(v, step < 1.0 ? 1 : 0) + " dB", v == 0.0);
  svg << TimeAxis(TimeOf(series));
  const size_t count = series.reductionDb.size();
  if (most <= 0.0) {
    svg << NoData("No gain reduction: the limiter never had to act");
  } else {
    std::string d;
    Step(d, 'M', kLeft, kTop);
    Step(d, 'L', kLeft, db.Map(series.reductionDb[0]));
    for (size_t i = 0; i < count; ++i) Step(d, 'L', ColumnX(i, count), db.Map(series.reductionDb[i]));
    Step(d, 'L', kRight, db.Map(series.reductionDb[count - 1]));
    Step(d, 'L', kRight, kTop);
    d += 'Z';
    svg << "<path d=\"" + d + "\" fill=\"" + kReductionColour + "\" fill-opacity=\"0.35\" stroke=\"" +
               kReductionColour + "\" stroke-width=\"1.2\" stroke-linejoin=\"round\"/>";
  }
  if (range > 1.0)
    svg << Line(kLeft, db.Map(1.0), kRight, db.Map(1.0), std::string("stroke=\"") + kTextColour + "\" stroke-dasharray=\"2 3\"");
  svg << Frame();
  return svg.Close();
}

std::string ShortTermLoudness(const TrackSeries& series, double targetLufs) {
  Svg svg("Short-term loudness of the input and the master");
  double high = targetLufs, low = targetLufs;
  for (const auto* points : {&series.inputShortTerm, &series.outputShortTerm})
    for (const LoudnessPoint& point : *points)
      if (point.lufs > -70.0) {
        high = std::max(high, static_cast<double>(point.lufs));
        low = std::min(low, static_cast<double>(point.lufs));
      }
  const double top = std::ceil((high + 1.0) / 5.0) * 5.0;
  const double bottom = std::max(top - 60.0, std::min(top - 20.0, std::floor((low - 1.0) / 5.0) * 5.0));
  const Axis lufs{bottom, top, kBottom, kTop};
  const double step = TickStep(top - bottom, {5, 10, 20}, 4);
  for (double v = bottom; v <= top + 1e-9; v += step) svg << ValueTick(lufs.Map(v), Number(v, 0) + " LUFS");
  const Axis time = TimeOf(series);
  svg << TimeAxis(time);
  // The target under the curves: a master right on it still shows.
  const double y = lufs.Map(targetLufs);
  svg << Line(kLeft, y, kRight, y, std::string("stroke=\"") + kTargetColour + "\" stroke-width=\"1.5\" stroke-dasharray=\"6 4\"");
  if (series.outputShortTerm.empty()) {
    svg << NoData("Shorter than one 3 s short-term window: no reading");
  } else {
    svg << LoudnessLine(series.inputShortTerm, time, lufs, kInputColour, 1.6)
        << LoudnessLine(series.outputShortTerm, time, lufs, kMasterColour, 2.0);
  }
  svg << PlotLabel(kRight - 4, y - 6, "target " + Number(targetLufs, 1) + " LUFS", kTargetColour);
  svg << Frame();
  return svg.Close();
}

}  // namespace report_pictures

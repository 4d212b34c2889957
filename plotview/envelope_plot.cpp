// Layout and drawing of an envelope picture.
#include "plotview/envelope_plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "plotview/plot_scale.h"

namespace plotview {
namespace {

const Rgb kBlack = {0.0, 0.0, 0.0};
const Rgb kWhite = {1.0, 1.0, 1.0};
const Rgb kFrame = {0.25, 0.25, 0.25};
const Rgb kGrid = {0.88, 0.88, 0.88};
const Rgb kMinorGrid = {0.95, 0.95, 0.95};
const Rgb kMuted = {0.45, 0.45, 0.45};

const Font kTitleFont = {16.0, true};
const Font kSubtitleFont = {11.5, false};
const Font kTickFont = {11.0, false};
const Font kAxisFont = {12.5, false};
const Font kLabelFont = {10.5, false};
const Font kLegendFont = {11.0, false};
const double kMarkerSize = 5.5;

struct Box {
    double x0, y0, x1, y1;
    bool Overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
    bool Inside(const Box& o) const { return x0 >= o.x0 && x1 <= o.x1 && y0 >= o.y0 && y1 <= o.y1; }
    bool Contains(double x, double y) const { return x >= x0 && x <= x1 && y >= y0 && y <= y1; }
};

// Whether the segment a-b passes through the box (Liang-Barsky clipping).
bool SegmentHits(const PlotPoint& a, const PlotPoint& b, const Box& box) {
    double t0 = 0.0;
    double t1 = 1.0;
    const double dx = b.x - a.x;
    const double dy = b.y - a.y;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {a.x - box.x0, box.x1 - a.x, a.y - box.y0, box.y1 - a.y};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0.0) {
            if (q[i] < 0.0)
                return false;
            continue;
        }
        const double r = q[i] / p[i];
        if (p[i] < 0.0) {
            t0 = std::max(t0, r);
        } else {
            t1 = std::min(t1, r);
        }
        if (t0 > t1)
            return false;
    }
    return true;
}

// The figure mapped to canvas coordinates.
struct MappedCurve {
    CurveKind kind;
    std::vector<PlotPoint> points;
};
struct MappedMarker {
    MarkerKind kind;
    PlotPoint at;
};

int CurveCrossings(const std::vector<MappedCurve>& curves, const Box& box) {
    int n = 0;
    for (const MappedCurve& c : curves) {
        for (size_t i = 0; i < c.points.size(); ++i) {
            const PlotPoint& a = c.points[i];
            const PlotPoint& b = c.points[i + 1 < c.points.size() ? i + 1 : i];
            if (SegmentHits(a, b, box))
                ++n;
        }
    }
    return n;
}

void DrawMarkerShape(Canvas* canvas, MarkerKind kind, double x, double y, double r,
                     const std::string& cls) {
    const Rgb fill = MarkerColor(kind);
    const Stroke edge = {kBlack, 1.0, {}};
    switch (kind) {
        case MarkerKind::kCriticalPoint:
            canvas->Circle(x, y, r, &fill, &edge, cls);
            break;
        case MarkerKind::kCricondenbar:
            canvas->Polygon(
                {{x, y - 1.25 * r}, {x + 1.15 * r, y + 0.8 * r}, {x - 1.15 * r, y + 0.8 * r}},
                &fill, &edge, cls);
            break;
        case MarkerKind::kCricondentherm:
            canvas->Polygon(
                {{x + 1.25 * r, y}, {x - 0.8 * r, y + 1.15 * r}, {x - 0.8 * r, y - 1.15 * r}},
                &fill, &edge, cls);
            break;
        case MarkerKind::kThreePhasePoint:
            canvas->Polygon({{x - r, y - r}, {x + r, y - r}, {x + r, y + r}, {x - r, y + r}}, &fill,
                            &edge, cls);
            break;
        case MarkerKind::kThreePhaseCritical:
            canvas->Polygon(
                {{x, y - 1.3 * r}, {x + 1.3 * r, y}, {x, y + 1.3 * r}, {x - 1.3 * r, y}}, &fill,
                &edge, cls);
            break;
    }
}

std::string MarkerClass(MarkerKind kind) {
    switch (kind) {
        case MarkerKind::kCriticalPoint:
            return "critical-point";
        case MarkerKind::kCricondenbar:
            return "cricondenbar";
        case MarkerKind::kCricondentherm:
            return "cricondentherm";
        case MarkerKind::kThreePhasePoint:
            return "three-phase-point";
        case MarkerKind::kThreePhaseCritical:
            return "three-phase-critical-point";
    }
    return "";
}

std::string CurveClass(CurveKind kind) {
    switch (kind) {
        case CurveKind::kDew:
            return "dew";
        case CurveKind::kBubble:
            return "bubble";
        case CurveKind::kThreePhase:
            return "three-phase";
        case CurveKind::kLiquidLiquid:
            return "liquid-liquid";
    }
    return "";
}

// Breaks `text` after ", " (or spaces) into lines no wider than `width`.
std::vector<std::string> WrapLine(const std::string& text, const Font& font, double width) {
    std::vector<std::string> lines;
    std::string line;
    size_t at = 0;
    while (at < text.size()) {
        size_t next = text.find(", ", at);
        next = next == std::string::npos ? text.size() : next + 2;
        const std::string piece = text.substr(at, next - at);
        if (!line.empty() && MeasureText(line + piece, font).width > width) {
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            lines.push_back(line);
            line.clear();
        }
        line += piece;
        at = next;
    }
    if (!line.empty())
        lines.push_back(line);
    return lines;
}

}  // namespace

Stroke CurveStroke(CurveKind kind) {
    switch (kind) {
        case CurveKind::kDew:
            return {{0.12, 0.38, 0.71}, 2.2, {}};
        case CurveKind::kBubble:
            return {{0.84, 0.15, 0.16}, 2.2, {8.0, 4.0}};
        case CurveKind::kThreePhase:
            return {{0.17, 0.60, 0.20}, 2.2, {9.0, 3.5, 2.0, 3.5}};
        case CurveKind::kLiquidLiquid:
            return {{0.50, 0.30, 0.70}, 2.4, {2.5, 3.0}};
    }
    return {kBlack, 1.0, {}};
}

Rgb MarkerColor(MarkerKind kind) {
    switch (kind) {
        case MarkerKind::kCriticalPoint:
            return {0.1, 0.1, 0.1};
        case MarkerKind::kCricondenbar:
            return {1.0, 0.55, 0.05};
        case MarkerKind::kCricondentherm:
            return {0.95, 0.85, 0.15};
        case MarkerKind::kThreePhasePoint:
            return {0.10, 0.75, 0.81};
        case MarkerKind::kThreePhaseCritical:
            return {0.89, 0.47, 0.76};
    }
    return kBlack;
}

void DrawEnvelope(const EnvelopeFigure& figure, const PlotOptions& options, Canvas* canvas) {
    const double width = options.width;
    const double height = options.height;
    canvas->Polygon({{0, 0}, {width, 0}, {width, height}, {0, height}}, &kWhite, nullptr,
                    "background");

    // Title lines.
    std::string title = options.title.empty() ? std::string("Phase envelope") : options.title;
    std::string subtitle;
    const size_t newline = title.find('\n');
    if (newline != std::string::npos) {
        subtitle = title.substr(newline + 1);
        title.erase(newline);
    }
    double top = 14.0 + MeasureText(title, kTitleFont).ascent;
    canvas->Text(width / 2, top, title, kTitleFont, TextAnchor::kMiddle, false, kBlack, "title");
    for (const std::string& line : WrapLine(subtitle, kSubtitleFont, width - 60.0)) {
        top += 4.0 + MeasureText(line, kSubtitleFont).ascent;
        canvas->Text(width / 2, top, line, kSubtitleFont, TextAnchor::kMiddle, false, kMuted,
                     "subtitle");
    }
    top += 18.0;

    // Data ranges and scales.
    double xlo = std::numeric_limits<double>::infinity();
    double xhi = -xlo;
    double ylo = xlo;
    double yhi = -xlo;
    auto extend = [&](const PlotPoint& p) {
        xlo = std::min(xlo, p.x);
        xhi = std::max(xhi, p.x);
        ylo = std::min(ylo, p.y);
        yhi = std::max(yhi, p.y);
    };
    for (const CurveSegment& s : figure.segments) {
        for (const PlotPoint& p : s.points)
            extend(p);
    }
    for (const Marker& m : figure.markers)
        extend(m.at);
    const bool empty = !(xhi >= xlo);
    if (empty) {
        xlo = IsLogarithmic(figure.axes.x) ? 0.1 : 0.0;
        xhi = IsLogarithmic(figure.axes.x) ? 10.0 : 1.0;
        ylo = IsLogarithmic(figure.axes.y) ? 0.1 : 0.0;
        yhi = IsLogarithmic(figure.axes.y) ? 10.0 : 1.0;
    }
    auto makeScale = [](double lo, double hi, Quantity q, int ticks) {
        if (IsLogarithmic(q))
            return LogScale(lo / 1.15, hi * 1.15);
        const double pad = (hi - lo) * 0.04;
        double from = lo - pad;
        if (IsNonNegative(q) && lo >= 0.0 && from < 0.0)
            from = 0.0;
        return LinearScale(from, hi + pad, ticks);
    };
    Scale sx = makeScale(xlo, xhi, figure.axes.x, 9);
    Scale sy = makeScale(ylo, yhi, figure.axes.y, 8);
    if (empty) {
        // Nothing to read off an empty plot.
        for (Tick& t : sx.ticks)
            t.label.clear();
        for (Tick& t : sy.ticks)
            t.label.clear();
    }

    // Plot area: room for the tick labels and axis titles.
    double yLabelWidth = 0.0;
    for (const Tick& t : sy.ticks) {
        yLabelWidth = std::max(yLabelWidth, MeasureText(t.label, kTickFont).width);
    }
    const TextExtent axisText = MeasureText("Ag", kAxisFont);
    const TextExtent tickText = MeasureText("0", kTickFont);
    const Box area = {
        18.0 + axisText.ascent + axisText.descent + 10.0 + yLabelWidth + 8.0, top, width - 28.0,
        height - (16.0 + axisText.ascent + axisText.descent + 8.0 + tickText.ascent + 8.0)};
    auto mapX = [&](double v) { return area.x0 + sx.Fraction(v) * (area.x1 - area.x0); };
    auto mapY = [&](double v) { return area.y1 - sy.Fraction(v) * (area.y1 - area.y0); };

    // Grid and ticks.
    for (const Tick& t : sx.ticks) {
        const double x = mapX(t.value);
        canvas->Polyline({{x, area.y0}, {x, area.y1}},
                         {t.label.empty() ? kMinorGrid : kGrid, 0.8, {}}, "grid");
    }
    for (const Tick& t : sy.ticks) {
        const double y = mapY(t.value);
        canvas->Polyline({{area.x0, y}, {area.x1, y}},
                         {t.label.empty() ? kMinorGrid : kGrid, 0.8, {}}, "grid");
    }
    const Stroke tickStroke = {kFrame, 1.0, {}};
    for (const Tick& t : sx.ticks) {
        const double x = mapX(t.value);
        const double len = t.label.empty() ? 3.0 : 5.0;
        canvas->Polyline({{x, area.y1}, {x, area.y1 + len}}, tickStroke, "tick");
        if (!t.label.empty()) {
            canvas->Text(x, area.y1 + 7.0 + tickText.ascent, t.label, kTickFont,
                         TextAnchor::kMiddle, false, kBlack, "tick-label x");
        }
    }
    for (const Tick& t : sy.ticks) {
        const double y = mapY(t.value);
        const double len = t.label.empty() ? 3.0 : 5.0;
        canvas->Polyline({{area.x0 - len, y}, {area.x0, y}}, tickStroke, "tick");
        if (!t.label.empty()) {
            canvas->Text(area.x0 - 8.0, y + tickText.ascent / 2 - 1.0, t.label, kTickFont,
                         TextAnchor::kEnd, false, kBlack, "tick-label y");
        }
    }
    canvas->Text((area.x0 + area.x1) / 2, height - 14.0 - axisText.descent,
                 AxisTitle(figure.axes.x), kAxisFont, TextAnchor::kMiddle, false, kBlack,
                 "axis-title x");
    canvas->Text(14.0 + axisText.ascent, (area.y0 + area.y1) / 2, AxisTitle(figure.axes.y),
                 kAxisFont, TextAnchor::kMiddle, true, kBlack, "axis-title y");

    // Curves, in stored order.
    std::vector<MappedCurve> curves;
    for (const CurveSegment& s : figure.segments) {
        MappedCurve c = {s.kind, {}};
        for (const PlotPoint& p : s.points)
            c.points.push_back({mapX(p.x), mapY(p.y)});
        canvas->Polyline(c.points, CurveStroke(s.kind), "curve " + CurveClass(s.kind));
        curves.push_back(std::move(c));
    }
    canvas->Polygon(
        {{area.x0, area.y0}, {area.x1, area.y0}, {area.x1, area.y1}, {area.x0, area.y1}}, nullptr,
        &tickStroke, "frame");
    if (empty) {
        canvas->Text((area.x0 + area.x1) / 2, (area.y0 + area.y1) / 2, "No envelope points",
                     kAxisFont, TextAnchor::kMiddle, false, kMuted, "note");
    }

    std::vector<MappedMarker> markers;
    for (const Marker& m : figure.markers)
        markers.push_back({m.kind, {mapX(m.at.x), mapY(m.at.y)}});
    std::vector<Box> obstacles;
    for (const MappedMarker& m : markers) {
        const double r = kMarkerSize + 2.0;
        obstacles.push_back({m.at.x - r, m.at.y - r, m.at.x + r, m.at.y + r});
    }

    // Legend: the curve kinds and marker kinds present, in the corner of the
    // plot area the curves cross least.
    struct Entry {
        bool curve;
        CurveKind curveKind;
        MarkerKind markerKind;
        std::string text;
    };
    std::vector<Entry> entries;
    for (CurveKind k :
         {CurveKind::kDew, CurveKind::kBubble, CurveKind::kThreePhase, CurveKind::kLiquidLiquid}) {
        bool present = false;
        for (const CurveSegment& s : figure.segments)
            present = present || s.kind == k;
        if (present)
            entries.push_back({true, k, MarkerKind::kCriticalPoint, CurveKindName(k)});
    }
    for (MarkerKind k :
         {MarkerKind::kCriticalPoint, MarkerKind::kCricondenbar, MarkerKind::kCricondentherm,
          MarkerKind::kThreePhasePoint, MarkerKind::kThreePhaseCritical}) {
        bool present = false;
        for (const Marker& m : figure.markers)
            present = present || m.kind == k;
        if (present)
            entries.push_back({false, CurveKind::kDew, k, MarkerKindName(k)});
    }
    if (!entries.empty()) {
        const double lineHeight = 17.0;
        const double swatch = 30.0;
        double textWidth = 0.0;
        for (const Entry& e : entries) {
            textWidth = std::max(textWidth, MeasureText(e.text, kLegendFont).width);
        }
        const double w = 10.0 + swatch + 8.0 + textWidth + 10.0;
        const double h = 8.0 + lineHeight * static_cast<double>(entries.size()) + 4.0;
        const double inset = 10.0;
        const Box corners[4] = {
            {area.x1 - inset - w, area.y0 + inset, area.x1 - inset, area.y0 + inset + h},
            {area.x0 + inset, area.y0 + inset, area.x0 + inset + w, area.y0 + inset + h},
            {area.x1 - inset - w, area.y1 - inset - h, area.x1 - inset, area.y1 - inset},
            {area.x0 + inset, area.y1 - inset - h, area.x0 + inset + w, area.y1 - inset},
        };
        Box legend = corners[0];
        int best = std::numeric_limits<int>::max();
        for (const Box& b : corners) {
            int cost = CurveCrossings(curves, b);
            for (const Box& o : obstacles)
                cost += o.Overlaps(b) ? 50 : 0;
            if (cost < best) {
                best = cost;
                legend = b;
            }
        }
        const Rgb paper = {1.0, 1.0, 1.0};
        const Stroke border = {{0.6, 0.6, 0.6}, 0.8, {}};
        canvas->Polygon({{legend.x0, legend.y0},
                         {legend.x1, legend.y0},
                         {legend.x1, legend.y1},
                         {legend.x0, legend.y1}},
                        &paper, &border, "legend");
        double y = legend.y0 + 8.0 + lineHeight / 2;
        for (const Entry& e : entries) {
            const double sx0 = legend.x0 + 10.0;
            if (e.curve) {
                canvas->Polyline({{sx0, y}, {sx0 + swatch, y}}, CurveStroke(e.curveKind),
                                 "legend-swatch " + CurveClass(e.curveKind));
            } else {
                DrawMarkerShape(canvas, e.markerKind, sx0 + swatch / 2, y, kMarkerSize,
                                "legend-swatch " + MarkerClass(e.markerKind));
            }
            canvas->Text(sx0 + swatch + 8.0, y + MeasureText(e.text, kLegendFont).ascent / 2 - 1.5,
                         e.text, kLegendFont, TextAnchor::kStart, false, kBlack, "legend-text");
            y += lineHeight;
        }
        obstacles.push_back(legend);
    }

    // Markers, then their labels where they collide least with the curves,
    // the other markers, the legend and the labels already placed.
    for (const MappedMarker& m : markers) {
        DrawMarkerShape(canvas, m.kind, m.at.x, m.at.y, kMarkerSize,
                        "marker " + MarkerClass(m.kind));
    }
    const TextExtent labelLine = MeasureText("Ag", kLabelFont);
    for (const MappedMarker& m : markers) {
        const std::string text = MarkerKindName(m.kind);
        const double w = MeasureText(text, kLabelFont).width;
        const double h = labelLine.ascent + labelLine.descent;
        struct Candidate {
            double dx, dy;  // direction from the marker
        };
        const Candidate directions[] = {{1, -1}, {1, 1},  {-1, -1}, {-1, 1},
                                        {1, 0},  {-1, 0}, {0, -1},  {0, 1}};
        Box bestBox = {0, 0, 0, 0};
        double bestCost = std::numeric_limits<double>::infinity();
        bool bestFar = false;
        for (double distance : {9.0, 24.0, 44.0}) {
            for (const Candidate& c : directions) {
                const double cx = m.at.x + c.dx * distance;
                const double cy = m.at.y + c.dy * distance;
                const double x0 = c.dx > 0 ? cx : c.dx < 0 ? cx - w : cx - w / 2;
                const double y0 = c.dy > 0 ? cy : c.dy < 0 ? cy - h : cy - h / 2;
                const Box box = {x0 - 2.0, y0 - 1.0, x0 + w + 2.0, y0 + h + 1.0};
                if (!box.Inside(area))
                    continue;
                double cost = 3.0 * CurveCrossings(curves, box) + distance / 10.0;
                for (const Box& o : obstacles)
                    cost += o.Overlaps(box) ? 100.0 : 0.0;
                if (cost < bestCost) {
                    bestCost = cost;
                    bestBox = box;
                    bestFar = distance > 10.0;
                }
            }
        }
        if (!std::isfinite(bestCost))
            continue;
        if (bestFar) {
            const double lx = std::clamp(m.at.x, bestBox.x0, bestBox.x1);
            const double ly = std::clamp(m.at.y, bestBox.y0, bestBox.y1);
            canvas->Polyline({{m.at.x, m.at.y}, {lx, ly}}, {kMuted, 0.7, {}}, "leader");
        }
        const Rgb halo = {1.0, 1.0, 1.0};
        canvas->Polygon({{bestBox.x0, bestBox.y0},
                         {bestBox.x1, bestBox.y0},
                         {bestBox.x1, bestBox.y1},
                         {bestBox.x0, bestBox.y1}},
                        &halo, nullptr, "label-background");
        canvas->Text(bestBox.x0 + 2.0, bestBox.y0 + 1.0 + labelLine.ascent, text, kLabelFont,
                     TextAnchor::kStart, false, kBlack, "marker-label " + MarkerClass(m.kind));
        obstacles.push_back(bestBox);
    }
}

HRESULT DrawEnvelope(const EnvelopeFigure& figure, const PlotOptions& options,
                     const std::string& path, std::string* error) {
    std::string why;
    std::unique_ptr<Canvas> canvas = OpenCanvas(path, options.width, options.height, &why);
    if (!canvas) {
        if (error != nullptr)
            *error = why;
        return IsPictureFile(path) ? E_FAIL : E_INVALIDARG;
    }
    DrawEnvelope(figure, options, canvas.get());
    if (!canvas->Finish(&why)) {
        if (error != nullptr)
            *error = why;
        return E_FAIL;
    }
    return S_OK;
}

}  // namespace plotview

// Curve segments and markers of an envelope plot.
#include "plotview/envelope_figure.h"

#include <cmath>

namespace plotview {
namespace {

// Point types of the stored rows (the utility's EnvelopePointType codes).
enum {
    kDew = 1,
    kDewAfterThreePhase = 2,
    kDewAfterSecond = 3,
    kBubble = 4,
    kCritical = 5,
    kCricondenbar = 6,
    kPressureMinimum = 7,
    kCricondentherm = 8,
    kTemperatureMinimum = 9,
    kThreePhase = 10,
    kThreePhaseCritical = 11,
    kThreePhaseCriticalOther = 12,
    kIncipientLiquid = 13,
    kThreePhaseBubble = 14,
    kLiquidLiquidUpper = 15,
    kLiquidLiquid = 16,
};

// Special points a trace finds between two points of its own curve.
bool LiesOnCurve(int type) {
    return type == kCricondenbar || type == kPressureMinimum || type == kCricondentherm ||
           type == kTemperatureMinimum || type == kThreePhaseCritical ||
           type == kThreePhaseCriticalOther;
}

bool Defined(double v, Quantity q) {
    if (v == kUndefinedValue || !std::isfinite(v))
        return false;
    return !IsLogarithmic(q) || v > 0.0;
}

}  // namespace

std::string AxisTitle(Quantity q) {
    switch (q) {
        case Quantity::kPressure:
            return "Pressure (kPa)";
        case Quantity::kTemperature:
            return "Temperature (K)";
        case Quantity::kEnthalpy:
            return "Enthalpy (kJ/kmol)";
        case Quantity::kEntropy:
            return "Entropy (kJ/(kmol\u00b7K))";
        case Quantity::kMolarVolume:
            return "Molar volume (m\u00b3/kmol)";
    }
    return "";
}

double ValueOf(const EnvelopePoint& point, Quantity q) {
    switch (q) {
        case Quantity::kPressure:
            return point.p;
        case Quantity::kTemperature:
            return point.t;
        case Quantity::kEnthalpy:
            return point.h;
        case Quantity::kEntropy:
            return point.s;
        case Quantity::kMolarVolume:
            return point.v;
    }
    return kUndefinedValue;
}

bool IsLogarithmic(Quantity q) {
    return q == Quantity::kMolarVolume;
}

bool IsNonNegative(Quantity q) {
    return q == Quantity::kPressure || q == Quantity::kTemperature || q == Quantity::kMolarVolume;
}

AxesPair AxesOf(EnvelopeType type) {
    switch (type) {
        case etPV:
            return {Quantity::kMolarVolume, Quantity::kPressure};
        case etPH:
            return {Quantity::kEnthalpy, Quantity::kPressure};
        case etPS:
            return {Quantity::kEntropy, Quantity::kPressure};
        case etTV:
            return {Quantity::kMolarVolume, Quantity::kTemperature};
        case etTH:
            return {Quantity::kEnthalpy, Quantity::kTemperature};
        case etTS:
            return {Quantity::kEntropy, Quantity::kTemperature};
        case etPT:
        default:
            return {Quantity::kTemperature, Quantity::kPressure};
    }
}

bool CurveKindOf(int pointType, CurveKind* kind) {
    switch (pointType) {
        case kDew:
        case kDewAfterThreePhase:
        case kDewAfterSecond:
            *kind = CurveKind::kDew;
            return true;
        case kBubble:
            *kind = CurveKind::kBubble;
            return true;
        case kIncipientLiquid:
        case kThreePhaseBubble:
            *kind = CurveKind::kThreePhase;
            return true;
        case kLiquidLiquidUpper:
        case kLiquidLiquid:
            *kind = CurveKind::kLiquidLiquid;
            return true;
        default:
            return false;
    }
}

std::string CurveKindName(CurveKind kind) {
    switch (kind) {
        case CurveKind::kDew:
            return "Dew curve";
        case CurveKind::kBubble:
            return "Bubble curve";
        case CurveKind::kThreePhase:
            return "Three-phase boundary";
        case CurveKind::kLiquidLiquid:
            return "Liquid\u2013liquid boundary";
    }
    return "";
}

bool MarkerKindOf(int pointType, MarkerKind* kind) {
    switch (pointType) {
        case kCritical:
            *kind = MarkerKind::kCriticalPoint;
            return true;
        case kCricondenbar:
            *kind = MarkerKind::kCricondenbar;
            return true;
        case kCricondentherm:
            *kind = MarkerKind::kCricondentherm;
            return true;
        case kThreePhase:
            *kind = MarkerKind::kThreePhasePoint;
            return true;
        case kThreePhaseCritical:
        case kThreePhaseCriticalOther:
            *kind = MarkerKind::kThreePhaseCritical;
            return true;
        default:
            return false;
    }
}

std::string MarkerKindName(MarkerKind kind) {
    switch (kind) {
        case MarkerKind::kCriticalPoint:
            return "Critical point";
        case MarkerKind::kCricondenbar:
            return "Cricondenbar";
        case MarkerKind::kCricondentherm:
            return "Cricondentherm";
        case MarkerKind::kThreePhasePoint:
            return "Three-phase point";
        case MarkerKind::kThreePhaseCritical:
            return "Three-phase critical point";
    }
    return "";
}

EnvelopeFigure BuildFigure(const std::vector<EnvelopePoint>& points, EnvelopeType type) {
    EnvelopeFigure figure;
    figure.axes = AxesOf(type);
    const Quantity qx = figure.axes.x;
    const Quantity qy = figure.axes.y;
    // The segment being extended, or none: a new segment starts at the next
    // curve row.
    CurveSegment* open = nullptr;
    for (size_t i = 0; i < points.size(); ++i) {
        const EnvelopePoint& row = points[i];
        const double x = ValueOf(row, qx);
        const double y = ValueOf(row, qy);
        const bool defined = Defined(x, qx) && Defined(y, qy);

        MarkerKind marker;
        if (MarkerKindOf(row.type, &marker) && defined) {
            bool seen = false;
            for (Marker& m : figure.markers) {
                if (m.kind != marker)
                    continue;
                if (m.at.x == x && m.at.y == y)
                    seen = true;
                // The envelope has one pressure maximum and one temperature
                // maximum: of several such rows the highest stands.
                if (marker == MarkerKind::kCricondenbar || marker == MarkerKind::kCricondentherm) {
                    seen = true;
                    const EnvelopePoint& held = points[static_cast<size_t>(m.row)];
                    const bool higher =
                        marker == MarkerKind::kCricondenbar ? row.p > held.p : row.t > held.t;
                    if (higher)
                        m = {marker, static_cast<int>(i), {x, y}};
                }
            }
            if (!seen)
                figure.markers.push_back({marker, static_cast<int>(i), {x, y}});
        }

        CurveKind kind;
        if (CurveKindOf(row.type, &kind)) {
            if (open == nullptr || open->pointType != row.type) {
                figure.segments.push_back({kind, row.type, static_cast<int>(i), {}});
                open = &figure.segments.back();
            }
            if (defined)
                open->points.push_back({x, y});
        } else if (LiesOnCurve(row.type)) {
            if (open != nullptr && defined)
                open->points.push_back({x, y});
        } else {
            // Critical and three-phase points, and unknown types, end the
            // curve being drawn.
            open = nullptr;
        }
    }
    // Segments none of whose rows is defined in this pair draw nothing.
    std::vector<CurveSegment> kept;
    for (CurveSegment& s : figure.segments) {
        if (!s.points.empty())
            kept.push_back(std::move(s));
    }
    figure.segments = std::move(kept);
    return figure;
}

}  // namespace plotview

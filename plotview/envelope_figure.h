// What a plot of an envelope shows, before any drawing: the coordinate pair
// of an EnvelopeType, the curve segments in the order the calculation stored
// them, and the special points to mark.
//
// A segment is a run of rows of one point type: the curves are split where
// the type changes, so curves of different stages are never joined. The
// extrema a trace finds inside its curve (cricondenbar, cricondentherm,
// pressure and temperature minima, three-phase critical points) lie on that
// curve: their rows are part of the segment around them, so the line runs
// through them. A critical point and a three-phase point only mark: the
// traces store the curves that meet there with their own rows. Rows with an
// undefined coordinate (-32767, e.g. the enthalpy of a three-phase critical
// row) are left out of the pairs that use it.
#pragma once

#include <string>
#include <vector>

#include "host/enums.h"
#include "plotview/envelope_results.h"

namespace plotview {

enum class Quantity { kPressure, kTemperature, kEnthalpy, kEntropy, kMolarVolume };

// "Pressure (kPa)", "Temperature (K)", ... as an axis title (UTF-8).
std::string AxisTitle(Quantity q);
// The value of quantity q in a point.
double ValueOf(const EnvelopePoint& point, Quantity q);
// Molar volumes span decades: they are plotted on a logarithmic axis.
bool IsLogarithmic(Quantity q);
// Pressures and temperatures are never negative: their axes stop at zero.
bool IsNonNegative(Quantity q);

// Horizontal and vertical quantity of a plot: PT has temperature across and
// pressure up; in general the first letter is the vertical axis, the
// second the horizontal one (PV: pressure over volume, TS: temperature over
// entropy).
struct AxesPair {
    Quantity x;
    Quantity y;
};
AxesPair AxesOf(EnvelopeType type);

enum class CurveKind { kDew, kBubble, kThreePhase, kLiquidLiquid };
// The curve a point type belongs to; false for the special-point types.
bool CurveKindOf(int pointType, CurveKind* kind);
// "Dew curve", "Bubble curve", "Three-phase boundary", "Liquid-liquid boundary".
std::string CurveKindName(CurveKind kind);

enum class MarkerKind {
    kCriticalPoint,
    kCricondenbar,
    kCricondentherm,
    kThreePhasePoint,
    kThreePhaseCritical,
};
// The marker of a point type; false for types that get none.
bool MarkerKindOf(int pointType, MarkerKind* kind);
std::string MarkerKindName(MarkerKind kind);

struct PlotPoint {
    double x;
    double y;
};

struct CurveSegment {
    CurveKind kind;
    int pointType;
    int firstRow;  // index of the segment's first stored row
    std::vector<PlotPoint> points;
};

struct Marker {
    MarkerKind kind;
    int row;
    PlotPoint at;
};

struct EnvelopeFigure {
    AxesPair axes;
    std::vector<CurveSegment> segments;  // in stored order
    std::vector<Marker> markers;         // one per distinct special point
};

// Builds the figure of `points` (stored order) in the coordinates of `type`.
// Markers of one kind at the same coordinates (a point stored again by the
// stage that starts there) are kept once; of several cricondenbar rows only
// the one of highest pressure is marked, of several cricondentherm rows the
// one of highest temperature (a trace may report a local extremum, e.g.
// where it got stuck). Segments with a single point are
// kept: they still show where a stage found something.
EnvelopeFigure BuildFigure(const std::vector<EnvelopePoint>& points, EnvelopeType type);

}  // namespace plotview

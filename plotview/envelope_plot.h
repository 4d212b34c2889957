// The picture of an envelope figure: a title, a framed plot area with
// round-number ticks and axis titles with units, the curve segments in the
// style of their kind, the special points as labelled markers, and a legend
// of what is shown; written to SVG, PNG or PDF by the file's extension.
#pragma once

#include <string>

#include "platform/com.h"
#include "plotview/canvas.h"
#include "plotview/envelope_figure.h"

namespace plotview {

struct PlotOptions {
    // First line of the title, e.g. the fluid; a second line may follow a
    // '\n'. Empty: "Phase envelope".
    std::string title;
    double width = 900.0;   // points
    double height = 640.0;  // points
};

// How each curve kind and marker kind is drawn (also used for the legend).
Stroke CurveStroke(CurveKind kind);
Rgb MarkerColor(MarkerKind kind);

// Draws `figure` into the file `path`. Returns S_OK; E_INVALIDARG for a
// path whose extension is not .svg, .png or .pdf; E_FAIL when the file
// cannot be written. *error (may be null) says why.
HRESULT DrawEnvelope(const EnvelopeFigure& figure, const PlotOptions& options,
                     const std::string& path, std::string* error);

// The same onto a canvas of options.width x options.height points.
void DrawEnvelope(const EnvelopeFigure& figure, const PlotOptions& options, Canvas* canvas);

}  // namespace plotview

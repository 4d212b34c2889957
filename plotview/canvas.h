// The drawing surface of the plot view: the few primitives a plot needs
// (lines, filled shapes, text), with one implementation drawing through
// cairo into PNG and PDF files and one writing SVG whose elements carry
// class names and whose text stays text (searchable, and checkable by a
// test). Coordinates are in points, y downwards, origin at the top left.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "plotview/envelope_figure.h"

namespace plotview {

struct Rgb {
    double r;
    double g;
    double b;
};

struct Stroke {
    Rgb color;
    double width;
    std::vector<double> dashes;  // on/off lengths; empty for a solid line
};

struct Font {
    double size;
    bool bold;
};

enum class TextAnchor { kStart, kMiddle, kEnd };

// Extent of a text line: its advance width and the heights above and below
// the baseline.
struct TextExtent {
    double width;
    double ascent;
    double descent;
};

// The extent of `text` (UTF-8) in `font`, measured with the font the
// canvases draw with (DejaVu Sans).
TextExtent MeasureText(const std::string& text, const Font& font);

class Canvas {
  public:
    virtual ~Canvas() = default;
    // `cls` names what is drawn ("curve dew", "marker critical-point",
    // "axis-title"); the SVG canvas writes it as the element's class.
    virtual void Polyline(const std::vector<PlotPoint>& points, const Stroke& stroke,
                          const std::string& cls) = 0;
    // A closed shape; fill and stroke may each be null (not drawn).
    virtual void Polygon(const std::vector<PlotPoint>& points, const Rgb* fill,
                         const Stroke* stroke, const std::string& cls) = 0;
    virtual void Circle(double cx, double cy, double r, const Rgb* fill, const Stroke* stroke,
                        const std::string& cls) = 0;
    // Text with its baseline at y, anchored at x; `vertical` turns it a
    // quarter turn counter-clockwise about (x, y).
    virtual void Text(double x, double y, const std::string& text, const Font& font,
                      TextAnchor anchor, bool vertical, const Rgb& color,
                      const std::string& cls) = 0;
    // Writes the file. False with *error set when that fails.
    virtual bool Finish(std::string* error) = 0;
};

// Whether `path` ends in .svg, .png or .pdf (any case).
bool IsPictureFile(const std::string& path);

// A canvas of width x height points for `path`, chosen by its extension
// (.svg, .png, .pdf, any case). A PNG has two pixels per point. Null with
// *error set for another extension or a surface cairo cannot create.
std::unique_ptr<Canvas> OpenCanvas(const std::string& path, double width, double height,
                                   std::string* error);

}  // namespace plotview

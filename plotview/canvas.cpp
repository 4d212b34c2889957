// The cairo (PNG, PDF) and SVG canvases.
#include "plotview/canvas.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace plotview {
namespace {

const char* const kFontFamily = "DejaVu Sans";

void SelectFont(cairo_t* cr, const Font& font) {
    cairo_select_font_face(cr, kFontFamily, CAIRO_FONT_SLANT_NORMAL,
                           font.bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, font.size);
}

std::string Extension(const std::string& path) {
    const size_t dot = path.find_last_of('.');
    const size_t slash = path.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return "";
    std::string ext = path.substr(dot + 1);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// --- cairo -------------------------------------------------------------------

class CairoCanvas final : public Canvas {
  public:
    CairoCanvas(cairo_surface_t* surface, double scale, bool png, std::string path)
        : surface_(surface), cr_(cairo_create(surface)), png_(png), path_(std::move(path)) {
        cairo_scale(cr_, scale, scale);
        cairo_set_line_join(cr_, CAIRO_LINE_JOIN_ROUND);
        cairo_set_line_cap(cr_, CAIRO_LINE_CAP_BUTT);
    }
    ~CairoCanvas() override {
        cairo_destroy(cr_);
        cairo_surface_destroy(surface_);
    }

    void Polyline(const std::vector<PlotPoint>& points, const Stroke& stroke,
                  const std::string&) override {
        if (points.empty())
            return;
        Trace(points, false);
        if (points.size() == 1) {
            // A lone point still shows as a dot of the line's width.
            cairo_new_path(cr_);
            cairo_arc(cr_, points[0].x, points[0].y, stroke.width, 0, 2 * 3.14159265358979);
            SetColor(stroke.color);
            cairo_fill(cr_);
            return;
        }
        ApplyStroke(stroke);
        cairo_stroke(cr_);
    }

    void Polygon(const std::vector<PlotPoint>& points, const Rgb* fill, const Stroke* stroke,
                 const std::string&) override {
        if (points.empty())
            return;
        Trace(points, true);
        Paint(fill, stroke);
    }

    void Circle(double cx, double cy, double r, const Rgb* fill, const Stroke* stroke,
                const std::string&) override {
        cairo_new_path(cr_);
        cairo_arc(cr_, cx, cy, r, 0, 2 * 3.14159265358979);
        Paint(fill, stroke);
    }

    void Text(double x, double y, const std::string& text, const Font& font, TextAnchor anchor,
              bool vertical, const Rgb& color, const std::string&) override {
        SelectFont(cr_, font);
        cairo_text_extents_t e;
        cairo_text_extents(cr_, text.c_str(), &e);
        const double shift = anchor == TextAnchor::kStart    ? 0.0
                             : anchor == TextAnchor::kMiddle ? e.x_advance / 2
                                                             : e.x_advance;
        cairo_save(cr_);
        cairo_translate(cr_, x, y);
        if (vertical)
            cairo_rotate(cr_, -3.14159265358979 / 2);
        cairo_move_to(cr_, -shift, 0);
        SetColor(color);
        cairo_show_text(cr_, text.c_str());
        cairo_restore(cr_);
    }

    bool Finish(std::string* error) override {
        cairo_surface_flush(surface_);
        cairo_status_t status = cairo_status(cr_);
        if (status == CAIRO_STATUS_SUCCESS && png_) {
            status = cairo_surface_write_to_png(surface_, path_.c_str());
        } else if (status == CAIRO_STATUS_SUCCESS) {
            cairo_surface_finish(surface_);
            status = cairo_surface_status(surface_);
        }
        if (status != CAIRO_STATUS_SUCCESS) {
            *error = path_ + ": " + cairo_status_to_string(status);
            return false;
        }
        return true;
    }

  private:
    void Trace(const std::vector<PlotPoint>& points, bool close) {
        cairo_new_path(cr_);
        cairo_move_to(cr_, points[0].x, points[0].y);
        for (size_t i = 1; i < points.size(); ++i)
            cairo_line_to(cr_, points[i].x, points[i].y);
        if (close)
            cairo_close_path(cr_);
    }
    void SetColor(const Rgb& c) { cairo_set_source_rgb(cr_, c.r, c.g, c.b); }
    void ApplyStroke(const Stroke& stroke) {
        SetColor(stroke.color);
        cairo_set_line_width(cr_, stroke.width);
        cairo_set_dash(cr_, stroke.dashes.empty() ? nullptr : stroke.dashes.data(),
                       static_cast<int>(stroke.dashes.size()), 0);
    }
    void Paint(const Rgb* fill, const Stroke* stroke) {
        if (fill != nullptr) {
            SetColor(*fill);
            if (stroke != nullptr) {
                cairo_fill_preserve(cr_);
            } else {
                cairo_fill(cr_);
            }
        }
        if (stroke != nullptr) {
            ApplyStroke(*stroke);
            cairo_stroke(cr_);
        }
        cairo_new_path(cr_);
    }

    cairo_surface_t* surface_;
    cairo_t* cr_;
    bool png_;
    std::string path_;
};

// --- SVG ---------------------------------------------------------------------

std::string Hex(const Rgb& c) {
    auto byte = [](double v) { return std::clamp(static_cast<int>(v * 255.0 + 0.5), 0, 255); };
    char text[8];
    std::snprintf(text, sizeof text, "#%02x%02x%02x", byte(c.r), byte(c.g), byte(c.b));
    return text;
}

std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", v);
    return text;
}

std::string Escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

class SvgCanvas final : public Canvas {
  public:
    SvgCanvas(double width, double height, std::string path) : path_(std::move(path)) {
        out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << Num(width)
             << "pt\" height=\"" << Num(height) << "pt\" viewBox=\"0 0 " << Num(width) << " "
             << Num(height) << "\">\n";
    }

    void Polyline(const std::vector<PlotPoint>& points, const Stroke& stroke,
                  const std::string& cls) override {
        if (points.empty())
            return;
        out_ << "<path class=\"" << Escape(cls) << "\" d=\"" << PathData(points, false)
             << (points.size() == 1 ? " l 0 0" : "") << "\" fill=\"none\""
             << StrokeAttributes(&stroke) << (points.size() == 1 ? " stroke-linecap=\"round\"" : "")
             << "/>\n";
    }

    void Polygon(const std::vector<PlotPoint>& points, const Rgb* fill, const Stroke* stroke,
                 const std::string& cls) override {
        if (points.empty())
            return;
        out_ << "<path class=\"" << Escape(cls) << "\" d=\"" << PathData(points, true) << "\""
             << FillAttribute(fill) << StrokeAttributes(stroke) << "/>\n";
    }

    void Circle(double cx, double cy, double r, const Rgb* fill, const Stroke* stroke,
                const std::string& cls) override {
        out_ << "<circle class=\"" << Escape(cls) << "\" cx=\"" << Num(cx) << "\" cy=\"" << Num(cy)
             << "\" r=\"" << Num(r) << "\"" << FillAttribute(fill) << StrokeAttributes(stroke)
             << "/>\n";
    }

    void Text(double x, double y, const std::string& text, const Font& font, TextAnchor anchor,
              bool vertical, const Rgb& color, const std::string& cls) override {
        const char* a = anchor == TextAnchor::kStart    ? "start"
                        : anchor == TextAnchor::kMiddle ? "middle"
                                                        : "end";
        out_ << "<text class=\"" << Escape(cls) << "\" x=\"" << Num(x) << "\" y=\"" << Num(y)
             << "\" font-family=\"" << kFontFamily << "\" font-size=\"" << Num(font.size) << "\""
             << (font.bold ? " font-weight=\"bold\"" : "") << " text-anchor=\"" << a << "\" fill=\""
             << Hex(color) << "\"";
        if (vertical)
            out_ << " transform=\"rotate(-90 " << Num(x) << " " << Num(y) << ")\"";
        out_ << ">" << Escape(text) << "</text>\n";
    }

    bool Finish(std::string* error) override {
        out_ << "</svg>\n";
        std::ofstream file(path_, std::ios::binary);
        file << out_.str();
        file.close();
        if (!file) {
            *error = path_ + ": cannot be written";
            return false;
        }
        return true;
    }

  private:
    static std::string PathData(const std::vector<PlotPoint>& points, bool close) {
        std::string d;
        for (size_t i = 0; i < points.size(); ++i) {
            d += (i == 0 ? "M " : " L ") + Num(points[i].x) + " " + Num(points[i].y);
        }
        if (close)
            d += " Z";
        return d;
    }
    static std::string FillAttribute(const Rgb* fill) {
        return fill != nullptr ? " fill=\"" + Hex(*fill) + "\"" : std::string(" fill=\"none\"");
    }
    static std::string StrokeAttributes(const Stroke* stroke) {
        if (stroke == nullptr)
            return "";
        std::string s = " stroke=\"" + Hex(stroke->color) + "\" stroke-width=\"" +
                        Num(stroke->width) + "\" stroke-linejoin=\"round\"";
        if (!stroke->dashes.empty()) {
            s += " stroke-dasharray=\"";
            for (size_t i = 0; i < stroke->dashes.size(); ++i) {
                s += (i > 0 ? " " : "") + Num(stroke->dashes[i]);
            }
            s += "\"";
        }
        return s;
    }

    std::ostringstream out_;
    std::string path_;
};

}  // namespace

TextExtent MeasureText(const std::string& text, const Font& font) {
    static cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
    cairo_t* cr = cairo_create(surface);
    SelectFont(cr, font);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    cairo_font_extents_t f;
    cairo_font_extents(cr, &f);
    cairo_destroy(cr);
    return {e.x_advance, f.ascent, f.descent};
}

bool IsPictureFile(const std::string& path) {
    const std::string ext = Extension(path);
    return ext == "svg" || ext == "png" || ext == "pdf";
}

std::unique_ptr<Canvas> OpenCanvas(const std::string& path, double width, double height,
                                   std::string* error) {
    const std::string ext = Extension(path);
    cairo_surface_t* surface = nullptr;
    double scale = 1.0;
    if (ext == "svg")
        return std::make_unique<SvgCanvas>(width, height, path);
    if (ext == "png") {
        scale = 2.0;
        surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width * scale),
                                             static_cast<int>(height * scale));
    } else if (ext == "pdf") {
        surface = cairo_pdf_surface_create(path.c_str(), width, height);
    } else {
        *error = path + ": unknown picture format '." + ext + "' (use .svg, .png or .pdf)";
        return nullptr;
    }
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
        *error = path + ": " + cairo_status_to_string(cairo_surface_status(surface));
        cairo_surface_destroy(surface);
        return nullptr;
    }
    return std::make_unique<CairoCanvas>(surface, scale, ext == "png", path);
}

}  // namespace plotview

#if defined(__SANITIZE_ADDRESS__)
// Cairo's text goes through fontconfig, whose caches live as long as the
// process and are never handed back: not leaks of ours. Sanitizer builds
// tell the leak checker so.
extern "C" __attribute__((used)) const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\n";
}
#endif

// Printing an envelope result.
#include "cli/envelope_report.h"

#include <cmath>
#include <cstdio>
#include <map>

#include "cli/utility_module.h"

namespace cli {

namespace {

using json = nlohmann::ordered_json;

bool Defined(double v) {
    return v != kUndefined;
}

std::string Format(const char* format, double v) {
    char text[64];
    std::snprintf(text, sizeof(text), format, v);
    return text;
}

// A table cell of `width` characters, "-" when undefined.
std::string Cell(double v, const char* format, int width) {
    const std::string text = Defined(v) ? Format(format, v) : "-";
    return std::string(text.size() < static_cast<size_t>(width) ? width - text.size() : 0, ' ') +
           text;
}

std::string CsvField(double v) {
    return Defined(v) ? Format("%.10g", v) : "";
}

json JsonValue(double v) {
    return Defined(v) ? json(v) : json(nullptr);
}

json StateJson(const std::optional<StatePoint>& s) {
    if (!s)
        return json(nullptr);
    return json{{"P_kPa", JsonValue(s->p)}, {"T_K", JsonValue(s->t)}};
}

std::string StateText(const StatePoint& s) {
    return "T = " + Cell(s.t, "%.2f", 8) + " K   P = " + Cell(s.p, "%.1f", 9) + " kPa";
}

// The distinct states of the rows of two types, in row order. A critical
// end point reached by two boundaries is stored by each, interpolated on
// each: states within 0.02 K and 0.02 % of one already listed are the same.
std::vector<StatePoint> DistinctStates(const EnvelopeResult& r, int typeA, int typeB) {
    std::vector<StatePoint> states;
    for (const EnvelopePoint& point : r.points) {
        if (point.type != typeA && point.type != typeB)
            continue;
        bool seen = false;
        for (const StatePoint& s : states) {
            seen = seen ||
                   (std::fabs(s.p - point.p) <= 2e-4 * s.p && std::fabs(s.t - point.t) <= 0.02);
        }
        if (!seen)
            states.push_back({point.p, point.t});
    }
    return states;
}

// The row of `type` whose pressure (byPressure) or temperature equals
// `value`; the last row of that type when none does.
std::optional<StatePoint> RowOf(const EnvelopeResult& r, int type, bool byPressure, double value) {
    std::optional<StatePoint> last;
    for (const EnvelopePoint& point : r.points) {
        if (point.type != type)
            continue;
        if ((byPressure ? point.p : point.t) == value)
            return StatePoint{point.p, point.t};
        last = StatePoint{point.p, point.t};
    }
    return last;
}

json StatesJson(const std::vector<StatePoint>& states) {
    json out = json::array();
    for (const StatePoint& s : states)
        out.push_back(StateJson(s));
    return out;
}

json HeadJson(const EnvelopeResult& r) {
    json out;
    out["status"] = HresultText(r.status);
    out["incomplete"] = IncompleteReasons(r.status);
    out["eos"] = r.eos;
    json fluid = json::object();
    for (const auto& c : r.fluid)
        fluid[c.first] = c.second;
    out["fluid"] = fluid;
    return out;
}

struct Axis {
    char letter;
    const char* csv;    // column name
    const char* table;  // column heading with unit
    const char* format;
};

const Axis kAxes[] = {{'P', "P_kPa", "P kPa", "%.3f"},
                      {'T', "T_K", "T K", "%.3f"},
                      {'H', "H", "H kJ/kmol", "%.3f"},
                      {'S', "S", "S kJ/(kmol K)", "%.4f"},
                      {'V', "V", "V m3/kmol", "%.6f"}};

const Axis& AxisOf(char letter) {
    for (const Axis& a : kAxes) {
        if (a.letter == letter)
            return a;
    }
    return kAxes[0];
}

// The stored curve of the axes pair ("PT" -> "PTCurve"); empty when absent.
const std::vector<std::pair<double, double>>& CurveOf(const EnvelopeResult& r,
                                                      const std::string& axes) {
    static const std::vector<std::pair<double, double>> none;
    const auto found = r.curves.find(axes + "Curve");
    return found == r.curves.end() ? none : found->second;
}

}  // namespace

std::string PointKindName(int type) {
    static const char* const names[] = {"dew",
                                        "dew past three-phase point",
                                        "dew past second three-phase point",
                                        "bubble",
                                        "critical point",
                                        "cricondenbar",
                                        "pressure minimum",
                                        "cricondentherm",
                                        "temperature minimum",
                                        "three-phase point",
                                        "three-phase critical point",
                                        "three-phase critical event",
                                        "incipient liquid",
                                        "three-phase bubble boundary",
                                        "upper liquid-liquid boundary",
                                        "liquid-liquid boundary"};
    if (type >= 1 && type <= 16)
        return names[type - 1];
    return "type " + std::to_string(type);
}

std::optional<StatePoint> CriticalPoint(const EnvelopeResult& r) {
    const double p = r.Scalar("2PhaseCriticalP");
    const double t = r.Scalar("2PhaseCriticalT");
    if (!Defined(p) || !Defined(t))
        return std::nullopt;
    return StatePoint{p, t};
}

std::optional<StatePoint> Cricondenbar(const EnvelopeResult& r) {
    const double p = r.Scalar("Cricondenbar");
    if (!Defined(p))
        return std::nullopt;
    std::optional<StatePoint> row = RowOf(r, 6, true, p);
    return StatePoint{p, row ? row->t : kUndefined};
}

std::optional<StatePoint> Cricondentherm(const EnvelopeResult& r) {
    const double t = r.Scalar("Cricondentherm");
    if (!Defined(t))
        return std::nullopt;
    std::optional<StatePoint> row = RowOf(r, 8, false, t);
    return StatePoint{row ? row->p : kUndefined, t};
}

std::vector<std::string> IncompleteReasons(HRESULT status) {
    std::vector<std::string> reasons;
    const uint32_t code = static_cast<uint32_t>(status);
    if ((code & 0xFFFFFF00u) != static_cast<uint32_t>(PE_S_ENVELOPE_INCOMPLETE))
        return reasons;
    const std::pair<uint32_t, const char*> gaps[] = {
        {kGapTraceStopped, "a dew or bubble curve stops short (its trace could not go on)"},
        {kGapBoundaryStopped, "a boundary of the three-phase region stops short"},
        {kGapStoreFull, "the 500 points the envelope can hold are used up"},
        {kGapSingleCompound,
         "the feed is above 0.99999 of one compound: its curve is that compound's vapour "
         "pressure, the impurities ignored"},
        {kGapNoPoints, "no point of the envelope was found"}};
    for (const auto& g : gaps) {
        if ((code & g.first) != 0)
            reasons.emplace_back(g.second);
    }
    return reasons;
}

std::vector<StatePoint> ThreePhasePoints(const EnvelopeResult& r) {
    return DistinctStates(r, 10, 10);
}

std::vector<StatePoint> ThreePhaseCriticalPoints(const EnvelopeResult& r) {
    return DistinctStates(r, 11, 12);
}

void WriteSummaryAndTable(std::ostream& out, const EnvelopeResult& r, const std::string& title) {
    out << "Phase envelope of " << title << "\n";
    out << "Model                  " << (r.eos == "SRK" ? "Soave-Redlich-Kwong" : "Peng-Robinson")
        << (r.volumeTranslation ? " with volume translation" : "") << ", "
        << (r.path == ThermoPath::kApp ? "application-side provider" : "host objects") << "\n";
    out << "Feed (mole fractions) ";
    for (size_t i = 0; i < r.fluid.size(); ++i) {
        out << (i % 4 == 0 && i > 0 ? "\n                       " : " ") << r.fluid[i].first << " "
            << Format("%.4f", r.fluid[i].second) << (i + 1 < r.fluid.size() ? "," : "");
    }
    out << "\n\n";

    const auto line = [&out](const char* label, const std::optional<StatePoint>& s) {
        out << label << (s ? StateText(*s) : std::string("none")) << "\n";
    };
    line("Critical point         ", CriticalPoint(r));
    line("Cricondenbar           ", Cricondenbar(r));
    line("Cricondentherm         ", Cricondentherm(r));
    const auto list = [&out](const char* label, const std::vector<StatePoint>& states) {
        out << label;
        if (states.empty())
            out << "none\n";
        for (size_t i = 0; i < states.size(); ++i) {
            out << (i > 0 ? "                       " : "") << StateText(states[i]) << "\n";
        }
    };
    list("Three-phase points     ", ThreePhasePoints(r));
    list("Three-phase critical   ", ThreePhaseCriticalPoints(r));

    std::map<int, int> counts;
    for (const EnvelopePoint& p : r.points)
        ++counts[p.type];
    out << "Points                 " << r.points.size() << " stored\n";
    for (const auto& c : counts) {
        char count[16];
        std::snprintf(count, sizeof(count), "%5d", c.second);
        out << "                       " << count << "  " << PointKindName(c.first) << "\n";
    }
    out << "Execute                " << HresultText(r.status) << " in "
        << Format("%.1f", r.elapsedMs) << " ms, " << r.hostCalls << " host calls\n";
    const std::vector<std::string> missing = IncompleteReasons(r.status);
    for (size_t i = 0; i < missing.size(); ++i)
        out << (i == 0 ? "Incomplete             " : "                       ") << missing[i]
            << "\n";
    out << "\n";

    char header[160];
    std::snprintf(header, sizeof(header), "%4s  %-34s %12s %10s %12s %12s %10s\n", "#", "kind",
                  "P kPa", "T K", "H kJ/kmol", "S kJ/kmol/K", "V m3/kmol");
    out << header;
    for (size_t i = 0; i < r.points.size(); ++i) {
        const EnvelopePoint& p = r.points[i];
        char lead[64];
        std::snprintf(lead, sizeof(lead), "%4zu  %-34s", i + 1, PointKindName(p.type).c_str());
        out << lead << " " << Cell(p.p, "%.3f", 12) << " " << Cell(p.t, "%.3f", 10) << " "
            << Cell(p.h, "%.3f", 12) << " " << Cell(p.s, "%.4f", 12) << " " << Cell(p.v, "%.6f", 10)
            << "\n";
    }
}

void WriteCsv(std::ostream& out, const EnvelopeResult& r) {
    out << "type,kind,P_kPa,T_K,H,S,V\n";
    for (const EnvelopePoint& p : r.points) {
        out << p.type << "," << PointKindName(p.type) << "," << CsvField(p.p) << ","
            << CsvField(p.t) << "," << CsvField(p.h) << "," << CsvField(p.s) << "," << CsvField(p.v)
            << "\n";
    }
}

json ToJson(const EnvelopeResult& r) {
    json out = HeadJson(r);
    json points = json::array();
    for (const EnvelopePoint& p : r.points) {
        points.push_back({{"type", p.type},
                          {"kind", PointKindName(p.type)},
                          {"P_kPa", JsonValue(p.p)},
                          {"T_K", JsonValue(p.t)},
                          {"H", JsonValue(p.h)},
                          {"S", JsonValue(p.s)},
                          {"V", JsonValue(p.v)}});
    }
    out["points"] = points;
    out["critical"] = StateJson(CriticalPoint(r));
    out["cricondenbar"] = StateJson(Cricondenbar(r));
    out["cricondentherm"] = StateJson(Cricondentherm(r));
    out["three_phase_points"] = StatesJson(ThreePhasePoints(r));
    out["three_phase_critical"] = StatesJson(ThreePhaseCriticalPoints(r));
    out["elapsed_ms"] = r.elapsedMs;
    return out;
}

void WriteCurveTable(std::ostream& out, const EnvelopeResult& r, const std::string& axes) {
    const auto& curve = CurveOf(r, axes);
    const Axis& x = AxisOf(axes[0]);
    const Axis& y = AxisOf(axes[1]);
    char header[96];
    std::snprintf(header, sizeof(header), "%4s  %14s %14s\n", "#", x.table, y.table);
    out << header;
    for (size_t i = 0; i < curve.size(); ++i) {
        char lead[32];
        std::snprintf(lead, sizeof(lead), "%4zu  ", i + 1);
        out << lead << Cell(curve[i].first, x.format, 14) << " "
            << Cell(curve[i].second, y.format, 14) << "\n";
    }
}

void WriteCurveCsv(std::ostream& out, const EnvelopeResult& r, const std::string& axes) {
    const auto& curve = CurveOf(r, axes);
    out << AxisOf(axes[0]).csv << "," << AxisOf(axes[1]).csv << "\n";
    for (const auto& pair : curve) {
        out << CsvField(pair.first) << "," << CsvField(pair.second) << "\n";
    }
}

json CurveToJson(const EnvelopeResult& r, const std::string& axes) {
    const auto& curve = CurveOf(r, axes);
    const char* x = AxisOf(axes[0]).csv;
    const char* y = AxisOf(axes[1]).csv;
    json out = HeadJson(r);
    out["axes"] = axes;
    json points = json::array();
    for (const auto& pair : curve) {
        points.push_back({{x, JsonValue(pair.first)}, {y, JsonValue(pair.second)}});
    }
    out["points"] = points;
    out["elapsed_ms"] = r.elapsedMs;
    return out;
}

}  // namespace cli

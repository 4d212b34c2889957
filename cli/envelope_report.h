// What phase-envelope prints of an envelope calculation: the summary and the
// table of points, CSV (one row per stored point, store order), JSON, and one
// of the seven curves as a two-column table, CSV or JSON. Undefined values
// (kUndefined) print as "-" in tables, as empty fields in CSV and as null in
// JSON.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/envelope_run.h"

namespace cli {

// The kind of a stored point in words ("dew", "bubble", "critical point",
// "three-phase bubble boundary", ...); "type N" for a code outside 1..16.
std::string PointKindName(int type);

struct StatePoint {
    double p = kUndefined;  // kPa
    double t = kUndefined;  // K
};

// The special points of a result, from its scalars and the rows they come
// from: the two-phase critical point, the cricondenbar (pressure from its
// scalar, temperature from the row of type 6 holding that pressure), the
// cricondentherm (the same with temperature and type 8); empty when the
// calculation did not find one.
std::optional<StatePoint> CriticalPoint(const EnvelopeResult& r);
std::optional<StatePoint> Cricondenbar(const EnvelopeResult& r);
std::optional<StatePoint> Cricondentherm(const EnvelopeResult& r);
// The distinct states stored with type 10 / types 11 and 12, in store order.
std::vector<StatePoint> ThreePhasePoints(const EnvelopeResult& r);
std::vector<StatePoint> ThreePhaseCriticalPoints(const EnvelopeResult& r);

// What an incomplete envelope (Execute's PE_S_ENVELOPE_INCOMPLETE codes)
// misses, one phrase per gap; empty for S_OK and for failures.
std::vector<std::string> IncompleteReasons(HRESULT status);

// `title` names the fluid in the summary's first line.
void WriteSummaryAndTable(std::ostream& out, const EnvelopeResult& r, const std::string& title);
void WriteCsv(std::ostream& out, const EnvelopeResult& r);
nlohmann::ordered_json ToJson(const EnvelopeResult& r);

// The curve of `axes` ("PT", "PV", "PH", "PS", "TV", "TH", "TS"), which
// must be one of CurveNames(), as a two-column table, CSV or JSON.
void WriteCurveTable(std::ostream& out, const EnvelopeResult& r, const std::string& axes);
void WriteCurveCsv(std::ostream& out, const EnvelopeResult& r, const std::string& axes);
nlohmann::ordered_json CurveToJson(const EnvelopeResult& r, const std::string& axes);

}  // namespace cli

// The sweep's checks on one feed's envelope.
#include "tests/sweep/envelope_checks.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <set>

#include "cli/envelope_run.h"
#include "core/units.h"
#include "host/utility_interfaces.h"
#include "pyrana/thermo/calculator.h"
#include "tests/sweep/check_eos.h"
#include "tests/sweep/tangent_plane.h"

namespace sweep {
namespace {

namespace thermo = pyrana::thermo;

// The window the stage plan scans, atm.
const double kWindowTopKpa = 500.0 * kKpaPerAtm;

// An HRESULT as the command line prints it.
std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%08X", static_cast<unsigned>(hr));
    return text;
}

std::string Format(const char* fmt, double a, double b = 0.0, double c = 0.0, double d = 0.0) {
    char text[256];
    std::snprintf(text, sizeof(text), fmt, a, b, c, d);
    return text;
}

// Rows on the boundary of the single-phase region. A three-phase point is
// left to the three-phase check: the single-phase region touches it only
// in a corner between the two curves that meet there, which the four
// neighbours of the check may all miss.
// Incipient-liquid rows (a second liquid appearing in the liquid above a
// three-phase point on the bubble side) are on it too.
bool IsBoundaryType(int type) {
    return (type >= 1 && type <= 9) || type == 13;
}

// Rows where the phase count changes between three and fewer.
bool IsThreePhaseBoundaryType(int type) {
    return type == 10 || (type >= 14 && type <= 16);
}

const char* KindName(int type) {
    switch (type) {
        case 1:
            return "dew";
        case 2:
            return "dew past three-phase point";
        case 3:
            return "dew past second three-phase point";
        case 4:
            return "bubble";
        case 5:
            return "critical point";
        case 6:
            return "cricondenbar";
        case 7:
            return "pressure minimum";
        case 8:
            return "cricondentherm";
        case 9:
            return "temperature minimum";
        case 10:
            return "three-phase point";
        case 13:
            return "incipient liquid";
        case 14:
            return "three-phase bubble boundary";
        case 15:
            return "upper liquid-liquid boundary";
        case 16:
            return "liquid-liquid boundary";
        default:
            return "row";
    }
}

std::string RowText(size_t index, const cli::EnvelopePoint& p) {
    return "row " + std::to_string(index + 1) + " (" + KindName(p.type) + ", " +
           Format("%.3f K, %.1f kPa)", p.t, p.p);
}

// The neighbourhood of a row: the row moved by ±dT and by ±dP/P, at four
// scales from 0.3 K and 0.3 % down to 0.0003 K and 0.0003 %, so that a band
// thinner than the first step (a near-pure feed's) is still resolved.
struct Neighbour {
    double t, p;
};
std::vector<Neighbour> Neighbours(double t, double p, double scale) {
    const double dt = 0.3 * scale;
    const double dp = 0.003 * scale * p;
    return {{t + dt, p}, {t - dt, p}, {t, p + dp}, {t, p - dp}};
}

// The phase count at T, P as the host's flash gives it, confirmed by the
// checks' own tangent-plane analysis of one of its phases (at equilibrium
// every phase shares the tangent plane): a flash whose result is unstable
// missed a phase, and the count is raised by one.
struct PhaseCount {
    int count = 0;    // -1: unknown (the flash did not converge)
    int vapours = 0;  // of the phases found, those gas-like (Z above 0.3)
    bool flashMissedPhase = false;
    std::string what;  // the flash that missed a phase
};

class Checker {
  public:
    Checker(const SweepFeed& feed, const CheckOptions& options) : feed_(feed), options_(options) {}

    FeedReport Run();

  private:
    void Fail(const std::string& check, const std::string& detail) {
        report_.failures.push_back({check, detail});
    }
    bool UnstableAt(double t, double p) { return Unstable(TangentPlane(*eos_, t, p, z_.data())); }
    PhaseCount CountPhases(double t, double p);
    bool CountChangesInBoxes(double t, double p);
    bool TwoIncipientPhasesAt(double t, double p);
    bool OnBoundaryAtRow(double t, double p);
    void CheckStatus(const cli::EnvelopeResult& r);
    void CheckFinite(const cli::EnvelopeResult& r);
    void CheckBoundaryRows(const cli::EnvelopeResult& r);
    void CheckThreePhaseRows(const cli::EnvelopeResult& r);
    void CheckScalars(const cli::EnvelopeResult& r);
    void CheckCritical(const cli::EnvelopeResult& r);
    void CompareEnvelopes(const std::string& check, const std::string& what, HRESULT statusA,
                          const std::vector<cli::EnvelopePoint>& pointsA,
                          const std::map<std::string, double>& scalarsA, HRESULT statusB,
                          const std::vector<cli::EnvelopePoint>& pointsB,
                          const std::map<std::string, double>& scalarsB);

    const SweepFeed& feed_;
    const CheckOptions& options_;
    FeedReport report_;
    std::unique_ptr<thermo::Calculator> calc_;
    std::unique_ptr<CheckEos> eos_;
    std::vector<double> z_;
    // Two compounds present.
    bool binary_ = false;
    // The host solver's critical points of the feed.
    std::vector<thermo::CriticalPointResult> roots_;
};

// The row itself as a saturation point, for bands thinner than the
// neighbours resolve (high-purity products): the feed is not unstable there
// and an incipient phase sits on its tangent plane; or, for a single
// compound, its vapour and liquid roots have equal Gibbs energy.
bool Checker::OnBoundaryAtRow(double t, double p) {
    // A feed of one compound above 0.99999 is given the vapour-pressure
    // curve of that compound, and says so (its band is narrower than any
    // trace, and within hundredths of a kelvin of that curve): the row is
    // checked on the compound's own curve.
    std::vector<double> x = z_;
    const auto dominant = std::max_element(x.begin(), x.end());
    if (*dominant > 0.99999) {
        std::fill(x.begin(), x.end(), 0.0);
        *dominant = 1.0;
        return std::fabs(eos_->RootGibbsGap(t, p, x.data())) < 1e-7;
    }
    const TangentPlaneResult r = TangentPlane(*eos_, t, p, z_.data());
    if (Unstable(r))
        return false;
    if (r.incipientOnPlane)
        return true;
    return std::fabs(eos_->RootGibbsGap(t, p, x.data())) < 1e-7;
}

PhaseCount Checker::CountPhases(double t, double p) {
    PhaseCount c;
    const thermo::FlashResult f = calc_->FlashPT(t, p, z_.data());
    c.count = static_cast<int>(f.phases.size());
    for (const auto& phase : f.phases)
        c.vapours += phase.z > 0.3 ? 1 : 0;
    if (c.count == 0 || c.count >= 3)
        return c;
    const TangentPlaneResult tp = TangentPlane(*eos_, t, p, f.phases[0].x.data());
    if (Unstable(tp)) {
        c.flashMissedPhase = true;
        c.what = Format("at %.3f K, %.2f kPa: %.0f phases (", t, p, f.phases.size()) +
                 thermo::ToString(f.outcome) + Format("), TPD %.2g", tp.minTpd);
        // Two phases and unstable: three at least. A single phase found unstable
        // says only that there are two at least.
        c.count = c.count == 2 ? 3 : -1;
    } else if (!f.ok()) {
        c.count = -1;
    }
    return c;
}

// Where a three-phase region is a wedge thinner than the four neighbours
// resolve (the sliver between two dew curves that cross at a three-phase
// point, or between two boundaries near a critical end point), its row is
// still where the phase count changes if a box around it holds three phases
// somewhere and fewer somewhere, at every scale: the box (±0.3 K, ±0.3 % at
// the first scale, a tenth of that at the next two) is probed on a grid of
// 21 temperatures by 5 pressures. A wedge that touches the row shows at every
// scale; a region that lies apart from it vanishes from the smaller boxes.
bool Checker::CountChangesInBoxes(double t, double p) {
    for (double scale = 1.0; scale > 5e-3; scale *= 0.1) {
        bool three = false;
        bool fewer = false;
        for (int j = -2; j <= 2 && !(three && fewer); ++j) {
            for (int i = -10; i <= 10 && !(three && fewer); ++i) {
                const PhaseCount c =
                    CountPhases(t + 0.03 * i * scale, p * (1.0 + 0.0015 * j * scale));
                if (c.count >= 3)
                    three = true;
                else if (c.count >= 0)
                    fewer = true;
            }
        }
        if (!(three && fewer))
            return false;
    }
    return true;
}

// A three-phase point where two saturation curves cross at so shallow an
// angle that the region between them escapes any grid: two incipient phases
// (more than 1e-3 apart in some mole fraction) touch the feed's tangent
// plane at the row, each at a saturation temperature within 0.01 K of the
// row's at its pressure, and no other stationary point lies below the plane.
bool Checker::TwoIncipientPhasesAt(double t, double p) {
    std::vector<std::vector<double>> touching;
    for (const StationaryPoint& s : StationaryPoints(*eos_, t, p, z_.data())) {
        const double ts = TouchingTemperature(*eos_, t, p, z_.data(), s.w);
        if (std::isfinite(ts) && std::fabs(ts - t) < 0.01) {
            bool known = false;
            for (const std::vector<double>& w : touching) {
                double apart = 0.0;
                for (size_t i = 0; i < w.size(); ++i)
                    apart = std::max(apart, std::fabs(w[i] - s.w[i]));
                known = known || apart <= 1e-3;
            }
            if (!known)
                touching.push_back(s.w);
        } else if (s.tpd < -1e-9) {
            return false;
        }
    }
    return touching.size() >= 2;
}

// Execute's status is honest: it succeeded; S_OK only for an envelope with
// nothing missing that the rows can show (no rows at all, the store full, a
// high-purity feed given a single compound's curve); an incomplete status
// names exactly the gaps the rows show.
void Checker::CheckStatus(const cli::EnvelopeResult& r) {
    if (FAILED(r.status)) {
        Fail("status", "Execute returned " + Hex(r.status));
        return;
    }
    const uint32_t code = static_cast<uint32_t>(r.status);
    const bool incomplete = (code & 0xFFFFFF00u) == static_cast<uint32_t>(PE_S_ENVELOPE_INCOMPLETE);
    if (r.status != S_OK && !incomplete) {
        Fail("status", "Execute returned " + Hex(r.status));
        return;
    }
    const uint32_t gaps = incomplete ? code & 0xFFu : 0u;
    report_.gaps = gaps;
    const bool empty = std::none_of(r.points.begin(), r.points.end(), [](const auto& p) {
        return IsBoundaryType(p.type) || p.type == 10;
    });
    const bool full = r.points.size() >= 500;
    const bool singleCompound =
        *std::max_element(z_.begin(), z_.end()) > 0.99999 &&
        std::count_if(z_.begin(), z_.end(), [](double v) { return v > 1e-10; }) > 1;
    const struct {
        bool shown;
        uint32_t gap;
        const char* what;
    } expected[] = {{empty, kGapNoPoints, "no rows"},
                    {full, kGapStoreFull, "a full store"},
                    {singleCompound, kGapSingleCompound, "a single compound's curve"}};
    for (const auto& e : expected) {
        if (e.shown != ((gaps & e.gap) != 0)) {
            Fail("status",
                 std::string(e.shown ? "the status does not report " : "the status reports ") +
                     e.what + " (" + Hex(r.status) + ")");
        }
    }
}

void Checker::CheckFinite(const cli::EnvelopeResult& r) {
    for (size_t i = 0; i < r.points.size(); ++i) {
        const cli::EnvelopePoint& p = r.points[i];
        if (!(std::isfinite(p.p) && p.p > 0.0 && std::isfinite(p.t) && p.t > 0.0)) {
            Fail("finite", "row " + std::to_string(i + 1) + ": P or T not finite and positive");
            return;
        }
        // Beyond any compound's critical temperature in the database by far:
        // a value from the wrong state.
        if (p.t > 3000.0) {
            Fail("finite", "row " + std::to_string(i + 1) + Format(": T %.6g K", p.t));
            return;
        }
        if (!std::isfinite(p.h) || !std::isfinite(p.s) || !std::isfinite(p.v)) {
            Fail("finite", "row " + std::to_string(i + 1) + ": H, S or V not finite");
            return;
        }
    }
    for (const auto& s : r.scalars) {
        if (!std::isfinite(s.second)) {
            Fail("finite", s.first + " is not finite");
            return;
        }
    }
}

void Checker::CheckBoundaryRows(const cli::EnvelopeResult& r) {
    for (size_t i = 0; i < r.points.size(); ++i) {
        const cli::EnvelopePoint& row = r.points[i];
        if (!IsBoundaryType(row.type))
            continue;
        // A copy of a three-phase point, which ends or starts the curve of
        // its type there, is checked as a three-phase point.
        const bool corner = std::any_of(r.points.begin(), r.points.end(), [&](const auto& q) {
            return q.type == 10 && q.p == row.p && q.t == row.t;
        });
        if (corner)
            continue;
        bool sawStable = false;
        bool sawUnstable = false;
        for (double scale = 1.0; scale > 1e-4 && !(sawStable && sawUnstable); scale *= 0.1) {
            bool stable = false;
            bool unstable = false;
            for (const Neighbour& n : Neighbours(row.t, row.p, scale)) {
                (UnstableAt(n.t, n.p) ? unstable : stable) = true;
            }
            if (stable && unstable) {
                sawStable = sawUnstable = true;
            } else if (scale == 1.0) {
                sawStable = stable;
                sawUnstable = unstable;
            }
        }
        // Near a critical point the two-phase region narrows below what
        // the neighbours resolve: a row there found stable all round is
        // no fault.
        const bool nearCritical = std::any_of(roots_.begin(), roots_.end(), [&](const auto& c) {
            return c.outcome == thermo::Outcome::kConverged && c.stable &&
                   std::fabs(c.t - row.t) <= options_.criticalKelvin &&
                   std::fabs(c.p - row.p) <= options_.criticalRelative * c.p;
        });
        if (!(sawStable && sawUnstable) && !(nearCritical && !sawUnstable) &&
            !OnBoundaryAtRow(row.t, row.p)) {
            Fail("boundary", RowText(i, row) + (sawUnstable ? ": two-phase on every side"
                                                            : ": single-phase on every side"));
        }
    }
}

void Checker::CheckThreePhaseRows(const cli::EnvelopeResult& r) {
    bool flashReported = false;
    // The three-phase points, where other three-phase rows are stored again.
    std::set<std::pair<double, double>> points;
    for (const cli::EnvelopePoint& row : r.points) {
        if (row.type == 10)
            points.insert({row.t, row.p});
    }
    for (size_t i = 0; i < r.points.size(); ++i) {
        const cli::EnvelopePoint& row = r.points[i];
        if (!IsThreePhaseBoundaryType(row.type))
            continue;
        bool three = false;
        bool fewer = false;
        bool binaryChange = false;
        std::string missed;
        int unknown = 0;
        for (double scale = 1.0; scale > 1e-4 && !(three && fewer) && !binaryChange; scale *= 0.1) {
            bool t3 = false;
            bool f3 = false;
            std::set<int> states;
            for (const Neighbour& n : Neighbours(row.t, row.p, scale)) {
                const PhaseCount c = CountPhases(n.t, n.p);
                if (c.flashMissedPhase && missed.empty())
                    missed = c.what;
                if (c.count >= 0) {
                    (c.count >= 3 ? t3 : f3) = true;
                    states.insert(10 * c.count + c.vapours);
                } else {
                    ++unknown;
                }
            }
            // A binary's three phases coexist on a line only: across a row on
            // it one pair of phases gives way to another. A feed that is
            // nearly a binary (a third compound at 1e-3) has a three-phase
            // region thinner than the neighbours resolve, and shows the same.
            // A row inside one two-phase region shows one pair all round.
            std::set<int> pairs;
            for (int state : states) {
                if (state / 10 == 2)
                    pairs.insert(state);
            }
            binaryChange = pairs.size() >= 2 || (binary_ && states.size() >= 2);
            if (t3 && f3) {
                three = fewer = true;
            } else if (scale == 1.0) {
                three = t3;
                fewer = f3;
            }
        }
        if (!(three && fewer) && !binaryChange && !CountChangesInBoxes(row.t, row.p) &&
            !(points.count({row.t, row.p}) != 0 && TwoIncipientPhasesAt(row.t, row.p))) {
            Fail("three-phase",
                 RowText(i, row) +
                     (three   ? ": three phases on every side"
                      : fewer ? ": fewer than three phases on every side"
                              : ": the host's flash converges nowhere around it") +
                     (unknown > 0 ? Format(" (%.0f flashes did not converge)", unknown) : ""));
        }
        if (!missed.empty() && !flashReported) {
            Fail("flash", "near " + RowText(i, row) + ", the host's PT flash " + missed);
            flashReported = true;
        }
    }
}

// Cricondenbar and cricondentherm against the rows of the curves they are
// extremes of: the dew and bubble curves of the first trace with their
// special points (types 1 and 4 to 9). Curves past a three-phase point are
// another phase's dew curves and have extremes of their own.
void Checker::CheckScalars(const cli::EnvelopeResult& r) {
    double maxP = -1.0;
    double maxT = -1.0;
    for (const cli::EnvelopePoint& p : r.points) {
        if (p.type == 1 || (p.type >= 4 && p.type <= 9)) {
            maxP = std::max(maxP, p.p);
            maxT = std::max(maxT, p.t);
        }
    }
    const double bar = r.Scalar("Cricondenbar");
    if (bar != kUndefined && bar < maxP * (1.0 - 1e-4)) {
        Fail("scalars", Format("cricondenbar %.1f kPa below a row at %.1f kPa", bar, maxP));
    }
    const double therm = r.Scalar("Cricondentherm");
    if (therm != kUndefined && therm < maxT - 0.01) {
        Fail("scalars", Format("cricondentherm %.3f K below a row at %.3f K", therm, maxT));
    }
}

void Checker::CheckCritical(const cli::EnvelopeResult& r) {
    const std::vector<thermo::CriticalPointResult>& roots = roots_;
    auto near = [&](const thermo::CriticalPointResult& c, double t, double p) {
        return std::fabs(c.t - t) <= options_.criticalKelvin &&
               std::fabs(c.p - p) <= options_.criticalRelative * c.p;
    };
    std::vector<const cli::EnvelopePoint*> rows;
    for (const cli::EnvelopePoint& p : r.points) {
        if (p.type == 5)
            rows.push_back(&p);
    }
    for (const cli::EnvelopePoint* row : rows) {
        const thermo::CriticalPointResult* best = nullptr;
        for (const auto& c : roots) {
            if (c.outcome != thermo::Outcome::kConverged)
                continue;
            if (best == nullptr || std::fabs(c.t - row->t) < std::fabs(best->t - row->t))
                best = &c;
        }
        if (best == nullptr) {
            Fail("critical", Format("critical row at %.3f K, %.1f kPa; the solver finds no root",
                                    row->t, row->p));
        } else if (!near(*best, row->t, row->p)) {
            Fail("critical", Format("critical row at %.3f K, %.1f kPa; solver %.3f K, %.1f kPa",
                                    row->t, row->p, best->t, best->p));
        }
    }
    for (const auto& c : roots) {
        if (c.outcome != thermo::Outcome::kConverged || !c.stable || c.p > kWindowTopKpa ||
            c.t < 50.0)
            continue;
        const bool onEnvelope = std::any_of(
            rows.begin(), rows.end(), [&](const auto* row) { return near(c, row->t, row->p); });
        if (!onEnvelope) {
            Fail("critical", Format("the solver's critical point %.3f K, %.1f kPa, where the feed "
                                    "is stable, is not on the envelope",
                                    c.t, c.p));
        }
    }
}

// Two envelopes of one feed agree: the same status, the same kinds of row,
// and the same scalars to 5e-4. Rows are not compared one by one: round-off
// differences (the provider gives ln f, from which ln φ is recovered; the
// host's flash warm-starts from its previous call) may make two traces take
// different steps along the same curve past a critical point.
void Checker::CompareEnvelopes(const std::string& check, const std::string& what, HRESULT statusA,
                               const std::vector<cli::EnvelopePoint>& pointsA,
                               const std::map<std::string, double>& scalarsA, HRESULT statusB,
                               const std::vector<cli::EnvelopePoint>& pointsB,
                               const std::map<std::string, double>& scalarsB) {
    if (statusA != statusB) {
        Fail(check, what + ": status " + Hex(statusA) + ", then " + Hex(statusB));
    }
    for (const auto& s : scalarsA) {
        const auto found = scalarsB.find(s.first);
        const double b = found == scalarsB.end() ? kUndefined : found->second;
        const double a = s.second;
        if ((a == kUndefined) != (b == kUndefined)) {
            Fail(check, what + ": " + s.first +
                            (a == kUndefined ? " only in the second" : " only in the first"));
        } else if (a != kUndefined && std::fabs(a - b) > 5e-4 * std::fabs(a)) {
            Fail(check, what + ": " + s.first + Format(" %.6g, then %.6g", a, b));
        }
    }
    std::set<int> kindsA, kindsB;
    for (const auto& p : pointsA)
        kindsA.insert(p.type);
    for (const auto& p : pointsB)
        kindsB.insert(p.type);
    if (kindsA != kindsB) {
        Fail(check, what + ": different kinds of row");
    }
}

uint64_t Digest(const cli::EnvelopeResult& r) {
    uint64_t h = 1469598103934665603ull;
    auto add = [&h](const void* data, size_t size) {
        const auto* bytes = static_cast<const unsigned char*>(data);
        for (size_t i = 0; i < size; ++i)
            h = (h ^ bytes[i]) * 1099511628211ull;
    };
    add(&r.status, sizeof(r.status));
    for (const cli::EnvelopePoint& p : r.points) {
        add(&p.type, sizeof(p.type));
        for (double v : {p.p, p.t, p.h, p.s, p.v})
            add(&v, sizeof(v));
    }
    for (const auto& s : r.scalars) {
        add(s.first.data(), s.first.size());
        add(&s.second, sizeof(s.second));
    }
    return h;
}

FeedReport Checker::Run() {
    const cli::FluidInput input = feed_.Input();
    thermo::Fluid fluid = cli::BuildFluid(input);
    eos_ = std::make_unique<CheckEos>(fluid);
    calc_ = std::make_unique<thermo::Calculator>(fluid);
    double sum = 0.0;
    for (double f : input.feed)
        sum += f;
    for (double f : input.feed)
        z_.push_back(f / sum);
    roots_ = calc_->CriticalPoints(z_.data());
    binary_ = std::count_if(z_.begin(), z_.end(), [](double v) { return v > 1e-10; }) == 2;

    cli::EnvelopeRequest request;
    request.executions = options_.repeat ? 2 : 1;
    const cli::EnvelopeResult host = cli::RunEnvelopeCalculation(input, request);
    report_.elapsedMs = host.elapsedMs;
    report_.hostCalls = host.hostCalls;
    report_.rows = static_cast<int>(host.points.size());
    report_.digest = Digest(host);

    CheckStatus(host);
    if (host.leftAlive != 0) {
        Fail("leak", std::to_string(host.leftAlive) + " objects outlive the calculation");
    }
    CheckFinite(host);
    const bool empty = std::none_of(host.points.begin(), host.points.end(), [](const auto& p) {
        return IsBoundaryType(p.type) || p.type == 10;
    });
    if (empty) {
        Fail("empty", host.status == S_OK ? "no boundary rows, and Execute returned S_OK"
                                          : "no boundary rows");
    }
    CheckBoundaryRows(host);
    CheckThreePhaseRows(host);
    CheckScalars(host);
    CheckCritical(host);
    if (options_.repeat) {
        CompareEnvelopes("repeat", "first and second Execute", host.first.status, host.first.points,
                         host.first.scalars, host.status, host.points, host.scalars);
    }
    if (options_.comparePaths) {
        cli::EnvelopeRequest appRequest;
        appRequest.path = cli::ThermoPath::kApp;
        const cli::EnvelopeResult app = cli::RunEnvelopeCalculation(input, appRequest);
        if (app.leftAlive != 0) {
            Fail("leak", std::to_string(app.leftAlive) +
                             " objects outlive the calculation on the provider's path");
        }
        CompareEnvelopes("paths", "host path and provider's path", host.status, host.points,
                         host.scalars, app.status, app.points, app.scalars);
    }
    return report_;
}

}  // namespace

const std::vector<std::string>& CheckNames() {
    static const std::vector<std::string> names = {"status",   "leak",        "finite", "empty",
                                                   "boundary", "three-phase", "flash",  "scalars",
                                                   "critical", "paths",       "repeat"};
    return names;
}

bool FeedReport::Failed(const std::string& check) const {
    return std::any_of(failures.begin(), failures.end(),
                       [&](const CheckFailure& f) { return f.check == check; });
}

FeedReport CheckFeed(const SweepFeed& feed, const CheckOptions& options) {
    Checker checker(feed, options);
    return checker.Run();
}

}  // namespace sweep

// Whole envelope calculations through the reference host, their reference
// files and their comparison (shared by the Linux reference program and the
// Windows test host).
#include "wintest/envelope_cases.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "pyrana/app/provider.h"
#include "pyrana/objects/host.h"
#include "pyrana/thermo/fluid.h"
#include "tests/support/natural_gas.h"

namespace envelope_cases {

namespace {

using platform::ComPtr;

// Point types 5 to 12: critical point, cricondenbar, pressure minimum,
// cricondentherm, temperature minimum, three-phase point and the two kinds
// of three-phase critical point. Each is solved to convergence on its own,
// so it does not depend on the step sequence that led to it.
bool IsSpecialType(int type) {
    return type >= 5 && type <= 12;
}

const char* TypeName(int type) {
    static const char* const names[] = {"?",
                                        "dew",
                                        "dew after 3-phase",
                                        "dew after second",
                                        "bubble",
                                        "critical",
                                        "cricondenbar",
                                        "pressure minimum",
                                        "cricondentherm",
                                        "temperature minimum",
                                        "3-phase",
                                        "3-phase critical",
                                        "3-phase critical (other)",
                                        "incipient liquid",
                                        "3-phase bubble",
                                        "liquid-liquid upper",
                                        "liquid-liquid"};
    return type >= 1 && type <= 16 ? names[type] : names[0];
}

std::string Number(double value) {
    char buffer[40];
    std::snprintf(buffer, sizeof buffer, "%.17g", value);
    return buffer;
}

// HRESULT is 32 bits on both platforms, signed: widened through uint32_t so
// that a failure code is not sign-extended.
std::string HexStatus(HRESULT hr) {
    char buffer[24];
    std::snprintf(buffer, sizeof buffer, "0x%08lX",
                  static_cast<unsigned long>(static_cast<uint32_t>(hr)));
    return buffer;
}

// The ID the host's registry gives `name`, or -1 when it is not registered.
LONG PropertyId(IPropertyEnumerationRegistry* registry, const char* name) {
    platform::Bstr text(name);
    LONG id = -1;
    if (FAILED(registry->GetPropertyIDByName(text.Get(), &id)))
        return -1;
    return id;
}

// The container's value of `name` (VT_EMPTY when absent); the caller clears it.
VARIANT ReadProperty(IPropContainer* container, IPropertyEnumerationRegistry* registry,
                     const char* name) {
    VARIANT v;
    VariantInit(&v);
    const LONG id = PropertyId(registry, name);
    if (id < 0 || id == static_cast<LONG>(kUndefined) ||
        FAILED(container->GetProperty(static_cast<int>(id), &v))) {
        VariantClear(&v);
    }
    return v;
}

std::vector<double> ReadArray(IPropContainer* container, IPropertyEnumerationRegistry* registry,
                              const char* name) {
    std::vector<double> values;
    VARIANT v = ReadProperty(container, registry, name);
    ComPtr<IRealArrayDisp> array;
    if (V_VT(&v) == VT_DISPATCH && V_DISPATCH(&v) != nullptr &&
        SUCCEEDED(V_DISPATCH(&v)->QueryInterface(IID_IRealArrayDisp, array.put_void()))) {
        LONG n = 0;
        array->get_Size(&n);
        values.assign(static_cast<size_t>(n > 0 ? n : 0), kUndefined);
        for (LONG i = 0; i < n; ++i)
            array->get_IthValue(i, &values[static_cast<size_t>(i)]);
    }
    VariantClear(&v);
    return values;
}

// The (first, second) values of each column of the two-row curve matrix
// `name`: one column per stored point.
std::vector<std::pair<double, double>> ReadCurve(IPropContainer* container,
                                                 IPropertyEnumerationRegistry* registry,
                                                 const char* name) {
    std::vector<std::pair<double, double>> pairs;
    VARIANT v = ReadProperty(container, registry, name);
    ComPtr<IRealMatrix> matrix;
    if ((V_VT(&v) == VT_DISPATCH || V_VT(&v) == VT_UNKNOWN) && V_UNKNOWN(&v) != nullptr &&
        SUCCEEDED(V_UNKNOWN(&v)->QueryInterface(IID_IRealMatrix, matrix.put_void()))) {
        int rows = 0;
        int columns = 0;
        matrix->get_Rows(&rows);
        matrix->get_Columns(&columns);
        std::vector<double> column(static_cast<size_t>(rows > 0 ? rows : 0), kUndefined);
        for (int c = 0; c < columns && rows >= 2; ++c) {
            matrix->GetColumnValues(c, rows, column.data());
            pairs.emplace_back(column[0], column[1]);
        }
    }
    VariantClear(&v);
    return pairs;
}

}  // namespace

const std::vector<FeedCase>& Cases() {
    static const std::vector<FeedCase> cases = {
        {"dry-gas", test_fluids::NaturalGas()},
        {"wet-feed", {{"methane", 0.5}, {"n-butane", 0.3}, {"n-decane", 0.1}, {"water", 0.1}}},
        {"binary", {{"methane", 0.5}, {"n-decane", 0.5}}},
    };
    return cases;
}

const char* PathName(ThermoPath path) {
    return path == ThermoPath::kApp ? "app" : "host";
}

const std::vector<std::string>& ScalarNames() {
    static const std::vector<std::string> names = {
        "2PhaseCriticalP", "2PhaseCriticalT", "3PhaseCriticalP", "3PhaseCriticalT",
        "3PhaseP",         "3PhaseT",         "Cricondentherm",  "Cricondenbar"};
    return names;
}

// --- CaseHost ------------------------------------------------------------------

struct CaseHost::Objects {
    std::unique_ptr<pyrana::objects::Host> host;
    ComPtr<IAppThermoProvider> provider;
    ComPtr<IPhaseCollection> phases;
    ComPtr<IPhase> container;
};

CaseHost::CaseHost(const FeedCase& feedCase, ThermoPath path)
    : path_(path), objects_(std::make_unique<Objects>()) {
    pyrana::thermo::FluidDefinition definition;
    std::vector<double> feed;
    for (const auto& component : feedCase.feed) {
        definition.Add(component.first);
        feed.push_back(component.second);
    }
    std::string error;
    std::optional<pyrana::thermo::Fluid> fluid = pyrana::thermo::Fluid::Create(definition, &error);
    if (!fluid) {
        throw std::runtime_error("fluid of " + feedCase.name + ": " + error);
    }
    try {
        if (path == ThermoPath::kApp)
            objects_->provider = pyrana::app::CreateProvider(*fluid, feed);
        objects_->host = std::make_unique<pyrana::objects::Host>(std::move(*fluid), feed);
    } catch (const std::exception& e) {
        throw std::runtime_error("reference host of " + feedCase.name + ": " + e.what());
    }
    objects_->phases = objects_->host->NewPhaseCollection();
    objects_->container = objects_->host->NewPropertyContainer();
}

CaseHost::~CaseHost() = default;

ComPtr<IDispatch> CaseHost::PropManager() const {
    return ComPtr<IDispatch>(objects_->host->PropManager().Get());
}

ComPtr<IDispatch> CaseHost::FlashManager() const {
    return ComPtr<IDispatch>(objects_->host->FlashManager().Get());
}

ComPtr<IDispatch> CaseHost::Provider() const {
    return ComPtr<IDispatch>(objects_->provider.Get());
}

ComPtr<IDispatch> CaseHost::PropertyRegistry() const {
    return ComPtr<IDispatch>(objects_->host->PropertyRegistry().Get());
}

ComPtr<IDispatch> CaseHost::Phases() const {
    return ComPtr<IDispatch>(objects_->phases.Get());
}

ComPtr<IDispatch> CaseHost::Container() const {
    return ComPtr<IDispatch>(objects_->container.Get());
}

ComPtr<IDispatch> CaseHost::Compounds() const {
    return ComPtr<IDispatch>(objects_->host->NewCompoundCollection().Get());
}

EnvelopeRun CaseHost::ReadResults(HRESULT status) const {
    EnvelopeRun run;
    run.status = status;
    ComPtr<IPropContainer> container;
    ComPtr<IPropertyEnumerationRegistry> registry = objects_->host->PropertyRegistry();
    if (FAILED(objects_->container->QueryInterface(IID_IPropContainer, container.put_void())))
        throw std::runtime_error("the host's property container has no IPropContainer");

    for (const std::string& name : ScalarNames()) {
        VARIANT v = ReadProperty(container.Get(), registry.Get(), name.c_str());
        run.scalars[name] = V_VT(&v) == VT_R8 ? V_R8(&v) : kUndefined;
        VariantClear(&v);
    }
    for (double type : ReadArray(container.Get(), registry.Get(), "TypeOfDataPoint")) {
        Row row;
        row.type = static_cast<int>(type);
        run.rows.push_back(row);
    }
    // Each curve pairs P or T with one property; P and T come from PTCurve.
    struct Curve {
        const char* name;
        double Row::*first;
        double Row::*second;
    };
    const Curve curves[] = {{"PTCurve", &Row::p, &Row::t},
                            {"PHCurve", nullptr, &Row::h},
                            {"PSCurve", nullptr, &Row::s},
                            {"PVCurve", nullptr, &Row::v}};
    for (const Curve& curve : curves) {
        const auto pairs = ReadCurve(container.Get(), registry.Get(), curve.name);
        for (size_t i = 0; i < pairs.size() && i < run.rows.size(); ++i) {
            if (curve.first != nullptr)
                run.rows[i].*curve.first = pairs[i].first;
            run.rows[i].*curve.second = pairs[i].second;
        }
    }
    return run;
}

EnvelopeRun RunEarlyBound(IPYRUtility* utility, const FeedCase& feedCase, ThermoPath path,
                          std::string* step) {
    CaseHost host(feedCase, path);
    EnvelopeRun failed;
    HRESULT hr = S_OK;
    if (path == ThermoPath::kApp) {
        hr = utility->SetThermo(nullptr, nullptr, host.Provider().Get(), nullptr, 1);
    } else {
        hr = utility->SetThermo(host.PropManager().Get(), host.FlashManager().Get(), nullptr,
                                nullptr, 0);
    }
    if (FAILED(hr)) {
        if (step != nullptr)
            *step = "SetThermo";
        failed.status = hr;
        return failed;
    }
    hr = utility->InitializePropertyIDs(host.PropertyRegistry().Get());
    if (FAILED(hr)) {
        if (step != nullptr)
            *step = "InitializePropertyIDs";
        failed.status = hr;
        return failed;
    }
    VARIANT noIds;
    VariantInit(&noIds);
    const HRESULT status = utility->Execute(nullptr, nullptr, nullptr, host.Phases().Get(),
                                            host.Container().Get(), 1, 1, 0, noIds);
    utility->ReleaseThermo();
    if (step != nullptr)
        *step = "Execute";
    return host.ReadResults(status);
}

// --- Reference files -------------------------------------------------------------

std::string ReferenceFileName(const FeedCase& feedCase, ThermoPath path) {
    return feedCase.name + "." + PathName(path) + ".txt";
}

bool WriteReference(const std::string& path, const FeedCase& feedCase, ThermoPath thermoPath,
                    const EnvelopeRun& run, std::string* error) {
    std::ofstream out(path);
    if (!out) {
        *error = "cannot write " + path;
        return false;
    }
    out << "# Phase envelope of " << feedCase.name << " (";
    for (size_t i = 0; i < feedCase.feed.size(); ++i)
        out << (i == 0 ? "" : ", ") << feedCase.feed[i].first << " " << feedCase.feed[i].second;
    out << ") through the "
        << (thermoPath == ThermoPath::kApp ? "application-side provider" : "host objects")
        << ",\n# Execute(bCalculationOnly 1, nProp 0), computed by the Linux build.\n"
        << "# Regenerate with tests/reference/envelope_reference write <this folder>.\n"
        << "# Rows: type, P kPa, T K, H kJ/kmol, S kJ/(kmol K), V m3/kmol.\n";
    out << "status " << HexStatus(run.status) << "\n";
    for (const std::string& name : ScalarNames()) {
        const auto found = run.scalars.find(name);
        out << "scalar " << name << " "
            << Number(found == run.scalars.end() ? kUndefined : found->second) << "\n";
    }
    out << "rows " << run.rows.size() << "\n";
    for (const Row& row : run.rows) {
        out << row.type << " " << Number(row.p) << " " << Number(row.t) << " " << Number(row.h)
            << " " << Number(row.s) << " " << Number(row.v) << "\n";
    }
    out.close();
    if (!out) {
        *error = "writing " + path + " failed";
        return false;
    }
    return true;
}

bool ReadReference(const std::string& path, EnvelopeRun* run, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot open " + path;
        return false;
    }
    *run = EnvelopeRun();
    std::string line;
    int number = 0;
    long expectedRows = -1;
    bool haveStatus = false;
    auto bad = [&](const std::string& why) {
        *error = path + ":" + std::to_string(number) + ": " + why;
        return false;
    };
    while (std::getline(in, line)) {
        ++number;
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream fields(line);
        if (expectedRows >= 0) {
            Row row;
            if (!(fields >> row.type >> row.p >> row.t >> row.h >> row.s >> row.v))
                return bad("expected TYPE P T H S V");
            run->rows.push_back(row);
            continue;
        }
        std::string key;
        fields >> key;
        if (key == "status") {
            std::string text;
            fields >> text;
            char* end = nullptr;
            const unsigned long value = std::strtoul(text.c_str(), &end, 16);
            if (text.empty() || *end != '\0' || value > 0xFFFFFFFFul)
                return bad("bad status \"" + text + "\"");
            run->status = static_cast<HRESULT>(static_cast<uint32_t>(value));
            haveStatus = true;
        } else if (key == "scalar") {
            std::string name;
            double value = 0.0;
            if (!(fields >> name >> value))
                return bad("expected scalar NAME VALUE");
            run->scalars[name] = value;
        } else if (key == "rows") {
            if (!(fields >> expectedRows) || expectedRows < 0)
                return bad("expected rows N");
        } else {
            return bad("unknown line \"" + line + "\"");
        }
    }
    if (!haveStatus || expectedRows < 0) {
        *error = path + ": no status or rows line";
        return false;
    }
    if (static_cast<long>(run->rows.size()) != expectedRows) {
        *error = path + ": " + std::to_string(run->rows.size()) + " rows, the header says " +
                 std::to_string(expectedRows);
        return false;
    }
    if (run->scalars.size() != ScalarNames().size()) {
        *error = path + ": " + std::to_string(run->scalars.size()) + " scalars, expected " +
                 std::to_string(ScalarNames().size());
        return false;
    }
    return true;
}

// --- Comparison -----------------------------------------------------------------

bool Close(double a, double b, double tolerance) {
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    const double scale = std::max({std::fabs(a), std::fabs(b), 1e-3});
    return std::fabs(a - b) <= tolerance * scale;
}

namespace {

// The first value of `got` not close to `reference`'s, as text; empty when
// all are close.
std::string RowDifference(const Row& reference, const Row& got, double tolerance) {
    const char* names[] = {"P", "T", "H", "S", "V"};
    const double want[] = {reference.p, reference.t, reference.h, reference.s, reference.v};
    const double have[] = {got.p, got.t, got.h, got.s, got.v};
    for (int k = 0; k < 5; ++k) {
        if (!Close(want[k], have[k], tolerance)) {
            return std::string(names[k]) + " " + Number(have[k]) + ", reference " + Number(want[k]);
        }
    }
    return std::string();
}

std::string ScalarDifference(const EnvelopeRun& reference, const EnvelopeRun& got,
                             double tolerance) {
    for (const std::string& name : ScalarNames()) {
        const auto want = reference.scalars.find(name);
        const auto have = got.scalars.find(name);
        const double w = want == reference.scalars.end() ? kUndefined : want->second;
        const double h = have == got.scalars.end() ? kUndefined : have->second;
        if (!Close(w, h, tolerance))
            return name + " " + Number(h) + ", reference " + Number(w);
    }
    return std::string();
}

// The first difference of `got` from `reference` compared row by row, the
// rows flagged in `interpolated` with `interpolatedTolerance`; empty when
// none.
std::string RowByRowDifference(const EnvelopeRun& reference, const EnvelopeRun& got,
                               const std::vector<bool>& interpolated, double tolerance,
                               double interpolatedTolerance) {
    const size_t n = std::min(reference.rows.size(), got.rows.size());
    for (size_t i = 0; i < n; ++i) {
        const Row& want = reference.rows[i];
        const Row& have = got.rows[i];
        if (want.type != have.type) {
            return "row " + std::to_string(i) + ": type " + std::to_string(have.type) + " (" +
                   TypeName(have.type) + "), reference " + std::to_string(want.type) + " (" +
                   TypeName(want.type) + ")";
        }
        const std::string values =
            RowDifference(want, have, interpolated[i] ? interpolatedTolerance : tolerance);
        if (!values.empty())
            return "row " + std::to_string(i) + " (" + TypeName(want.type) + "): " + values;
    }
    if (reference.rows.size() != got.rows.size()) {
        return std::to_string(got.rows.size()) + " rows, reference " +
               std::to_string(reference.rows.size());
    }
    return std::string();
}

std::string SpecialPointDifference(const EnvelopeRun& reference, const EnvelopeRun& got,
                                   double tolerance) {
    std::map<int, int> wantCounts;
    std::map<int, int> haveCounts;
    std::vector<const Row*> wantSpecial;
    std::vector<const Row*> haveSpecial;
    for (const Row& row : reference.rows) {
        ++wantCounts[row.type];
        if (IsSpecialType(row.type))
            wantSpecial.push_back(&row);
    }
    for (const Row& row : got.rows) {
        ++haveCounts[row.type];
        if (IsSpecialType(row.type))
            haveSpecial.push_back(&row);
    }
    if (wantCounts != haveCounts) {
        for (int type = 1; type <= 16; ++type) {
            if (wantCounts[type] != haveCounts[type]) {
                return std::to_string(haveCounts[type]) + " rows of type " + std::to_string(type) +
                       " (" + TypeName(type) + "), reference " + std::to_string(wantCounts[type]);
            }
        }
        return "rows of an unknown type differ";
    }
    for (size_t i = 0; i < wantSpecial.size(); ++i) {
        if (wantSpecial[i]->type != haveSpecial[i]->type) {
            return "special point " + std::to_string(i) + ": " + TypeName(haveSpecial[i]->type) +
                   ", reference " + TypeName(wantSpecial[i]->type);
        }
        const std::string values = RowDifference(*wantSpecial[i], *haveSpecial[i], tolerance);
        if (!values.empty()) {
            return "special point " + std::to_string(i) + " (" + TypeName(wantSpecial[i]->type) +
                   "): " + values;
        }
    }
    return std::string();
}

}  // namespace

std::vector<bool> InterpolatedRows(const EnvelopeRun& run) {
    const size_t n = run.rows.size();
    std::vector<bool> flags(n, false);
    auto samePoint = [](const Row& a, const Row& b) { return a.p == b.p && a.t == b.t; };
    for (size_t i = 0; i < n; ++i) {
        if (!IsSpecialType(run.rows[i].type))
            continue;
        flags[i] = true;
        if (i > 0 && samePoint(run.rows[i - 1], run.rows[i]))
            flags[i - 1] = true;
        if (i + 1 < n && samePoint(run.rows[i + 1], run.rows[i]))
            flags[i + 1] = true;
    }
    return flags;
}

Comparison CompareRuns(const EnvelopeRun& reference, const EnvelopeRun& got,
                       const Tolerances& tolerances) {
    Comparison result;
    if (reference.status != got.status) {
        result.detail =
            "status " + HexStatus(got.status) + ", reference " + HexStatus(reference.status);
        return result;
    }
    const std::vector<bool> interpolated = InterpolatedRows(reference);
    std::string strict = RowByRowDifference(reference, got, interpolated, tolerances.converged,
                                            tolerances.converged);
    if (strict.empty())
        strict = ScalarDifference(reference, got, tolerances.converged);
    if (strict.empty()) {
        result.kind = Comparison::Kind::kRowByRow;
        return result;
    }
    result.detail = strict;

    const std::string scalars = ScalarDifference(reference, got, tolerances.interpolated);
    if (!scalars.empty()) {
        result.detail += "; " + scalars;
        return result;
    }
    if (RowByRowDifference(reference, got, interpolated, tolerances.converged,
                           tolerances.interpolated)
            .empty()) {
        result.kind = Comparison::Kind::kInterpolatedPoints;
        return result;
    }
    const std::string special = SpecialPointDifference(reference, got, tolerances.interpolated);
    if (special.empty()) {
        result.kind = Comparison::Kind::kSpecialPoints;
    } else {
        result.detail += "; " + special;
    }
    return result;
}

std::string Summary(const EnvelopeRun& run) {
    std::map<int, int> counts;
    for (const Row& row : run.rows)
        ++counts[row.type];
    std::string text = std::to_string(run.rows.size()) + " rows";
    const char* separator = " (";
    for (const auto& count : counts) {
        text += separator;
        text += std::string(TypeName(count.first)) + " " + std::to_string(count.second);
        separator = ", ";
    }
    if (!counts.empty())
        text += ")";
    return text;
}

}  // namespace envelope_cases

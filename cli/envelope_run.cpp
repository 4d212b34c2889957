// Hosting one envelope calculation: the reference host, the utility created
// by ProgID from the registered module, Execute, and the outputs read back.
#include "cli/envelope_run.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>

#include "cli/utility_module.h"
#include "host/interfaces.h"
#include "platform/live_objects.h"
#include "pyrana/app/provider.h"
#include "pyrana/objects/host.h"

namespace cli {

namespace {

using platform::ComPtr;

const char* const kScalarNames[] = {"2PhaseCriticalP", "2PhaseCriticalT", "3PhaseCriticalP",
                                    "3PhaseCriticalT", "3PhaseP",         "3PhaseT",
                                    "Cricondentherm",  "Cricondenbar"};

// The utility, released on every way out.
struct UtilityRef {
    IPYRUtility* p = nullptr;
    ~UtilityRef() {
        if (p != nullptr) {
            p->ReleaseThermo();
            p->Release();
        }
    }
};

// The property `name` of the container as a VARIANT the caller clears.
VARIANT ReadProperty(IPropContainer* container, const pyrana::objects::Host& host,
                     const std::string& name) {
    VARIANT v;
    VariantInit(&v);
    const int id = host.PropertyId(name);
    if (id == static_cast<int>(kUndefined) || FAILED(container->GetProperty(id, &v))) {
        VariantClear(&v);
    }
    return v;
}

double ReadScalar(IPropContainer* container, const pyrana::objects::Host& host,
                  const std::string& name) {
    VARIANT v = ReadProperty(container, host, name);
    const double d = v.vt == VT_R8 ? v.dblVal : kUndefined;
    VariantClear(&v);
    return d;
}

std::vector<double> ReadArray(IPropContainer* container, const pyrana::objects::Host& host,
                              const std::string& name) {
    std::vector<double> values;
    VARIANT v = ReadProperty(container, host, name);
    ComPtr<IRealArrayDisp> array;
    if (v.vt == VT_DISPATCH && v.pdispVal != nullptr &&
        SUCCEEDED(v.pdispVal->QueryInterface(IID_IRealArrayDisp, array.put_void()))) {
        LONG n = 0;
        array->get_Size(&n);
        values.assign(static_cast<size_t>(n > 0 ? n : 0), kUndefined);
        for (LONG i = 0; i < n; ++i) {
            array->get_IthValue(i, &values[static_cast<size_t>(i)]);
        }
    }
    VariantClear(&v);
    return values;
}

// The matrix `name` as its columns, each of the matrix's row count.
std::vector<std::vector<double>> ReadMatrixColumns(IPropContainer* container,
                                                   const pyrana::objects::Host& host,
                                                   const std::string& name) {
    std::vector<std::vector<double>> columns;
    VARIANT v = ReadProperty(container, host, name);
    ComPtr<IRealMatrix> matrix;
    if ((v.vt == VT_DISPATCH || v.vt == VT_UNKNOWN) && v.punkVal != nullptr &&
        SUCCEEDED(v.punkVal->QueryInterface(IID_IRealMatrix, matrix.put_void()))) {
        int rows = 0;
        int count = 0;
        matrix->get_Rows(&rows);
        matrix->get_Columns(&count);
        for (int c = 0; c < count && rows > 0; ++c) {
            std::vector<double> column(static_cast<size_t>(rows), kUndefined);
            matrix->GetColumnValues(c, rows, column.data());
            columns.push_back(std::move(column));
        }
    }
    VariantClear(&v);
    return columns;
}

void ReadOutputs(IPhase* containerPhase, const pyrana::objects::Host& host, bool curves,
                 EnvelopeResult* result) {
    ComPtr<IPropContainer> container;
    if (FAILED(containerPhase->QueryInterface(IID_IPropContainer, container.put_void()))) {
        throw std::runtime_error("the host's property container has no IPropContainer");
    }
    for (const char* name : kScalarNames) {
        result->scalars[name] = ReadScalar(container.Get(), host, name);
    }
    const std::vector<double> types = ReadArray(container.Get(), host, "TypeOfDataPoint");
    for (double type : types) {
        EnvelopePoint point;
        point.type = static_cast<int>(type);
        result->points.push_back(point);
    }
    if (!curves) {
        const auto columns = ReadMatrixColumns(container.Get(), host, "EnvelopeResultsMatrix");
        for (size_t i = 0; i < columns.size() && i < result->points.size(); ++i) {
            const std::vector<double>& c = columns[i];
            EnvelopePoint& point = result->points[i];
            double* cells[5] = {&point.p, &point.t, &point.h, &point.s, &point.v};
            for (size_t k = 0; k < 5 && k < c.size(); ++k) {
                *cells[k] = c[k];
            }
        }
        return;
    }
    for (const auto& curve : CurveNames()) {
        std::vector<std::pair<double, double>>& pairs = result->curves[curve.first];
        for (const std::vector<double>& c : ReadMatrixColumns(container.Get(), host, curve.first)) {
            pairs.emplace_back(c.size() > 0 ? c[0] : kUndefined, c.size() > 1 ? c[1] : kUndefined);
        }
    }
    const auto& pt = result->curves["PTCurve"];
    for (size_t i = 0; i < pt.size() && i < result->points.size(); ++i) {
        result->points[i].p = pt[i].first;
        result->points[i].t = pt[i].second;
    }
}

void Check(HRESULT hr, const char* what) {
    if (FAILED(hr)) {
        throw std::runtime_error(std::string(what) + " failed (" + HresultText(hr) + ")");
    }
}

}  // namespace

double EnvelopeResult::Scalar(const std::string& name) const {
    const auto found = scalars.find(name);
    return found == scalars.end() ? kUndefined : found->second;
}

const std::vector<std::pair<std::string, std::string>>& CurveNames() {
    static const std::vector<std::pair<std::string, std::string>> names = {
        {"PTCurve", "PT"}, {"PHCurve", "PH"}, {"PSCurve", "PS"}, {"PVCurve", "PV"},
        {"THCurve", "TH"}, {"TSCurve", "TS"}, {"TVCurve", "TV"}};
    return names;
}

EnvelopeResult RunEnvelopeCalculation(const FluidInput& input, const EnvelopeRequest& request) {
    EnvelopeResult result;
    result.path = request.path;
    // Counted on this thread: other threads may run calculations of their own.
    const long aliveBefore = platform::LiveObjectCountOnThisThread();
    {
        pyrana::thermo::Fluid fluid = BuildFluid(input);
        result.eos = fluid.eos() == pyrana::thermo::EosKind::SRK ? "SRK" : "PR";
        result.volumeTranslation = fluid.volumeTranslation();

        UtilityModule module;
        std::string error;
        if (!module.Load(UtilityModulePath(), &error)) {
            throw std::runtime_error(error);
        }

        ComPtr<IAppThermoProvider> provider;
        std::unique_ptr<pyrana::objects::Host> host;
        try {
            if (request.path == ThermoPath::kApp) {
                provider = pyrana::app::CreateProvider(fluid, input.feed);
            }
            host = std::make_unique<pyrana::objects::Host>(std::move(fluid), input.feed);
        } catch (const std::invalid_argument& e) {
            throw InputError(e.what());
        }
        for (int i = 0; i < host->size(); ++i) {
            result.fluid.emplace_back(host->fluid().compound(i).name,
                                      host->feed()[static_cast<size_t>(i)]);
        }

        // A full calculation ends with the utility's options dialog, which
        // creates the plot view by its ProgID: the view class is offered in
        // this process for the whole calculation, with the host's name
        // registry for a utility whose manager offers none (the provider's
        // path) and the feed under the title. With no picture file set and no
        // dialog driver installed, the dialog closes at once and the view
        // draws nothing.
        plotview::ViewSettings viewSettings = request.view;
        viewSettings.registry = host->PropertyRegistry();
        std::string composition;
        for (const auto& c : result.fluid) {
            char part[96];
            std::snprintf(part, sizeof(part), "%s%s %g", composition.empty() ? "" : ", ",
                          c.first.c_str(), c.second);
            composition += part;
        }
        if (!composition.empty())
            viewSettings.title += "\n" + composition;
        plotview::EnvelopeViewRegistration views{viewSettings};
        Check(views.status(), "offering the plot view class");

        ComPtr<IPhaseCollection> phases = host->NewPhaseCollection();
        ComPtr<IPhase> container = host->NewPropertyContainer();
        UtilityRef utility;
        Check(UtilityModule::CreateUtility(&utility.p), "creating the utility by ProgID");
        if (request.path == ThermoPath::kApp) {
            Check(utility.p->SetThermo(nullptr, nullptr, provider.Get(), nullptr, 1),
                  "SetThermo with the application-side provider");
        } else {
            ComPtr<IPropManager> propManager = host->PropManager();
            ComPtr<IFlashManager> flashManager = host->FlashManager();
            Check(utility.p->SetThermo(propManager.Get(), flashManager.Get(), nullptr, nullptr, 0),
                  "SetThermo with the host's managers");
        }
        ComPtr<IPropertyEnumerationRegistry> registry = host->PropertyRegistry();
        Check(utility.p->InitializePropertyIDs(registry.Get()), "InitializePropertyIDs");

        VARIANT noIds;
        VariantInit(&noIds);
        const LONG calculationOnly = request.curves ? 1 : 0;
        for (int run = 0; run < std::max(1, request.executions); ++run) {
            if (run == 1) {
                result.first.status = result.status;
                result.first.points = std::move(result.points);
                result.first.scalars = std::move(result.scalars);
                result.points.clear();
                result.scalars.clear();
                result.curves.clear();
            }
            pyrana::objects::SetFaultPlan(request.fault);
            if (request.profile) {
                pyrana::objects::StartHostCallProfile();
            }
            const auto start = std::chrono::steady_clock::now();
            result.status = utility.p->Execute(nullptr, nullptr, nullptr, phases.Get(),
                                               container.Get(), 1, calculationOnly, 0, noIds);
            const auto end = std::chrono::steady_clock::now();
            pyrana::objects::ClearFaultPlan();
            if (request.profile) {
                result.profile = pyrana::objects::StopHostCallProfile();
            }
            result.hostCalls = pyrana::objects::HostCallCount();
            result.elapsedMs = std::chrono::duration<double, std::milli>(end - start).count();

            ReadOutputs(container.Get(), *host, request.curves, &result);
        }
    }
    result.leftAlive = platform::LiveObjectCountOnThisThread() - aliveBefore;
    if (result.leftAlive != 0) {
        result.leftAliveReport = platform::LiveObjectReport();
    }
    return result;
}

}  // namespace cli

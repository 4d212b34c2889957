// Whole calculations through pyThreePhaseEnvelope.dll under a real COM
// runtime, early- and late-bound.
#include "wintest/envelope_checks.h"

#include <chrono>
#include <exception>
#include <vector>

#include "host/interfaces.h"
#include "platform/com.h"
#include "wintest/envelope_cases.h"

namespace {

using envelope_cases::CaseHost;
using envelope_cases::Comparison;
using envelope_cases::EnvelopeRun;
using envelope_cases::FeedCase;
using envelope_cases::ThermoPath;
using platform::Bstr;
using platform::ComPtr;

const wchar_t kProgId[] = L"pyThreePhaseEnvelope.pyThreePhaseEnvelope";

// Against the Linux build: converged curve rows to 1e-6 relative. The rows a
// trace interpolates (special points and their copies) use tangents from
// finite differences of ln phi; next to a critical point the Jacobian is
// nearly singular and turns the two math libraries' last-bit differences
// into a few 1e-4 relative (on Linux alone the two paths' critical points
// differ by about 6e-5): those, and the scalars taken from them, to 5e-4.
const envelope_cases::Tolerances kAgainstLinux{1e-6, 5e-4};
// Late- against early-bound in one process: the very same arithmetic.
const envelope_cases::Tolerances kIdentical{0.0, 0.0};

HRESULT CreateUtility(ComPtr<IPYRUtility>* utility) {
    CLSID clsid = GUID_NULL;
    HRESULT hr = CLSIDFromProgID(kProgId, &clsid);
    if (SUCCEEDED(hr)) {
        hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPYRUtility,
                              utility->put_void());
    }
    return hr;
}

std::string Label(const FeedCase& feedCase, ThermoPath path) {
    return feedCase.name + " (" + envelope_cases::PathName(path) + ")";
}

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// --- Late binding ------------------------------------------------------------

// Argument builders. IDispatch takes arguments last-first; Call reverses the
// natural order given here.
VARIANT Int(LONG value) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_I4;
    V_I4(&v) = value;
    return v;
}

VARIANT Object(IDispatch* object) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_DISPATCH;
    V_DISPATCH(&v) = object;  // borrowed: the caller keeps its reference
    return v;
}

VARIANT Text(BSTR text) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BSTR;
    V_BSTR(&v) = text;  // borrowed
    return v;
}

VARIANT Empty() {
    VARIANT v;
    VariantInit(&v);
    return v;
}

VARIANT IntRef(LONG* target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_I4;
    V_I4REF(&v) = target;
    return v;
}

VARIANT TextRef(BSTR* target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_BSTR;
    V_BSTRREF(&v) = target;
    return v;
}

VARIANT VariantRef(VARIANT* target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_VARIANT;
    V_VARIANTREF(&v) = target;
    return v;
}

VARIANT ObjectRef(IDispatch** target) {
    VARIANT v;
    VariantInit(&v);
    V_VT(&v) = VT_BYREF | VT_DISPATCH;
    V_DISPATCHREF(&v) = target;
    return v;
}

// Calls `name` on `dispatch` late-bound: GetIDsOfNames, then Invoke with
// DISPATCH_METHOD. Arguments in declaration order (borrowed, not cleared);
// *result (may be null) receives the [retval]. A name the type library does
// not know answers DISP_E_UNKNOWNNAME.
HRESULT Call(IDispatch* dispatch, const wchar_t* name, std::vector<VARIANT> args,
             VARIANT* result = nullptr) {
    LPOLESTR names[1] = {const_cast<LPOLESTR>(name)};
    DISPID id = DISPID_UNKNOWN;
    HRESULT hr = dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(hr))
        return hr;
    std::vector<VARIANT> reversed(args.rbegin(), args.rend());
    DISPPARAMS params = {reversed.empty() ? nullptr : reversed.data(), nullptr,
                         static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO exception = {};
    UINT badArgument = 0;
    hr = dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params, result,
                          &exception, &badArgument);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrHelpFile);
    return hr;
}

// SetThermo on `path` with `host`'s objects, late-bound.
HRESULT LateSetThermo(IDispatch* utility, const CaseHost& host, ThermoPath path) {
    if (path == ThermoPath::kApp) {
        ComPtr<IDispatch> provider = host.Provider();
        return Call(
            utility, L"SetThermo",
            {Object(nullptr), Object(nullptr), Object(provider.Get()), Text(nullptr), Int(1)});
    }
    ComPtr<IDispatch> propManager = host.PropManager();
    ComPtr<IDispatch> flashManager = host.FlashManager();
    return Call(utility, L"SetThermo",
                {Object(propManager.Get()), Object(flashManager.Get()), Object(nullptr),
                 Text(nullptr), Int(0)});
}

// A whole calculation late-bound: SetThermo, InitializePropertyIDs, Execute
// (bRecalculate 1, bCalculationOnly 1, nProp 0), ReleaseThermo; each call's
// HRESULT checked, the results read from the container.
EnvelopeRun LateBoundRun(CheckReport& report, IDispatch* utility, const FeedCase& feedCase,
                         ThermoPath path) {
    const std::string label = Label(feedCase, path);
    CaseHost host(feedCase, path);
    EnvelopeRun failed;
    failed.status = LateSetThermo(utility, host, path);
    if (!report.ExpectHr(failed.status, S_OK, "SetThermo late-bound, " + label))
        return failed;
    ComPtr<IDispatch> registry = host.PropertyRegistry();
    failed.status = Call(utility, L"InitializePropertyIDs", {Object(registry.Get())});
    if (!report.ExpectHr(failed.status, S_OK, "InitializePropertyIDs late-bound, " + label))
        return failed;
    ComPtr<IDispatch> phases = host.Phases();
    ComPtr<IDispatch> container = host.Container();
    Bstr stream("Feed");
    Bstr user("Envelope");
    const HRESULT status =
        Call(utility, L"Execute",
             {Text(stream.Get()), Text(user.Get()), Object(nullptr), Object(phases.Get()),
              Object(container.Get()), Int(1), Int(1), Int(0), Empty()});
    report.ExpectHr(Call(utility, L"ReleaseThermo", {}), S_OK,
                    "ReleaseThermo late-bound, " + label);
    return host.ReadResults(status);
}

// The bookkeeping methods, late-bound on `late` and early-bound on `early`:
// the same HRESULTs and the same outputs (those that write nothing leave the
// caller's values as they were).
void CheckLateBoundBookkeeping(CheckReport& report, IPYRUtility* early, IDispatch* late) {
    {
        LONG earlyCount = 7;
        VARIANT earlyNames = Empty();
        VARIANT earlyTypes = Empty();
        const HRESULT want = early->GetSupportedProps(&earlyCount, &earlyNames, &earlyTypes);
        LONG count = 7;
        VARIANT names = Empty();
        VARIANT types = Empty();
        const HRESULT got = Call(late, L"GetSupportedProps",
                                 {IntRef(&count), VariantRef(&names), VariantRef(&types)});
        report.Expect(got == want && count == earlyCount && V_VT(&names) == V_VT(&earlyNames) &&
                          V_VT(&types) == V_VT(&earlyTypes),
                      "GetSupportedProps late-bound answers as early-bound",
                      HrText(got) + " count " + std::to_string(count) + ", early-bound " +
                          HrText(want) + " count " + std::to_string(earlyCount));
        VariantClear(&earlyNames);
        VariantClear(&earlyTypes);
        VariantClear(&names);
        VariantClear(&types);
    }
    {
        ComPtr<IDispatch> compounds;
        CaseHost host(envelope_cases::Cases()[2], ThermoPath::kHost);
        compounds = host.Compounds();
        ComPtr<ICompoundCollection> collection;
        compounds->QueryInterface(IID_ICompoundCollection, collection.put_void());
        LONG earlyOk = 0;
        Bstr earlyMessage;
        const HRESULT want =
            early->CheckRestriction(collection.Get(), &earlyOk, earlyMessage.put());
        LONG ok = 0;
        BSTR message = nullptr;
        const HRESULT got = Call(late, L"CheckRestriction",
                                 {Object(compounds.Get()), IntRef(&ok), TextRef(&message)});
        report.Expect(got == want && ok == earlyOk && ok == 1 &&
                          (message == nullptr) == (earlyMessage.Get() == nullptr),
                      "CheckRestriction late-bound accepts the host's compounds as early-bound",
                      HrText(got) + " bOK " + std::to_string(ok) + ", early-bound " + HrText(want) +
                          " bOK " + std::to_string(earlyOk));
        SysFreeString(message);
    }
    {
        BSTR earlySaved = nullptr;
        const HRESULT want = early->Save(&earlySaved);
        BSTR saved = nullptr;
        const HRESULT got = Call(late, L"Save", {TextRef(&saved)});
        report.Expect(got == want && (saved == nullptr) == (earlySaved == nullptr),
                      "Save late-bound answers as early-bound",
                      HrText(got) + ", early-bound " + HrText(want));
        Bstr text("saved state");
        report.ExpectHr(Call(late, L"Recall", {Text(text.Get())}), early->Recall(text.Get()),
                        "Recall late-bound answers as early-bound");
        SysFreeString(saved);
        SysFreeString(earlySaved);
    }
    {
        VARIANT none = Empty();
        report.ExpectHr(Call(late, L"SetUnitSet", {Empty(), Empty()}),
                        early->SetUnitSet(none, none),
                        "SetUnitSet late-bound answers as early-bound");
    }
    {
        IPYROption* earlyOption = nullptr;
        const HRESULT want = early->GetSupportedOption(&earlyOption);
        IDispatch* option = nullptr;
        const HRESULT got = Call(late, L"GetSupportedOption", {ObjectRef(&option)});
        report.Expect(got == want && (option == nullptr) == (earlyOption == nullptr),
                      "GetSupportedOption late-bound answers as early-bound",
                      HrText(got) + ", early-bound " + HrText(want));
        if (option != nullptr)
            option->Release();
        if (earlyOption != nullptr)
            earlyOption->Release();
    }
    report.ExpectHr(Call(late, L"ReleaseThermo", {}), early->ReleaseThermo(),
                    "ReleaseThermo late-bound answers as early-bound");

    ComPtr<INotifyChange> notify;
    if (!report.ExpectHr(early->QueryInterface(IID_INotifyChange, notify.put_void()), S_OK,
                         "the early-bound object offers INotifyChange"))
        return;
    report.ExpectHr(Call(late, L"UseNotifyChange", {Int(0)}), notify->UseNotifyChange(0),
                    "UseNotifyChange late-bound answers as early-bound");
    report.ExpectHr(Call(late, L"HasModified", {Int(IPChanged)}), notify->HasModified(IPChanged),
                    "HasModified late-bound answers as early-bound");
    // A wrongly typed argument is coerced by the type library's declaration,
    // a missing one refused, as for any automation method.
    Bstr number("1");
    report.ExpectHr(Call(late, L"UseNotifyChange", {Text(number.Get())}), S_OK,
                    "UseNotifyChange late-bound coerces \"1\" to its long argument");
    report.ExpectHr(Call(late, L"InitializePropertyIDs", {}), DISP_E_BADPARAMCOUNT,
                    "InitializePropertyIDs late-bound without its argument is refused");
}

// The reference host offers its classes to the process through ole32's
// class table while it lives (the utility creates its output arrays and
// matrices from there), and takes them back when it goes.
void CheckHostClassObjects(CheckReport& report) {
    const struct {
        const CLSID* clsid;
        const char* name;
    } classes[] = {{&CLSID_PyranaRealArray, "real array"},
                   {&CLSID_PyranaRealMatrix, "real matrix"},
                   {&CLSID_PyranaSettingsCompanion, "settings companion"}};
    {
        CaseHost host(envelope_cases::Cases()[2], ThermoPath::kHost);
        for (const auto& c : classes) {
            ComPtr<IClassFactory> factory;
            HRESULT hr = CoGetClassObject(*c.clsid, CLSCTX_INPROC_SERVER, nullptr,
                                          IID_IClassFactory, factory.put_void());
            ComPtr<IUnknown> object;
            if (SUCCEEDED(hr))
                hr = factory->CreateInstance(nullptr, IID_IUnknown, object.put_void());
            report.ExpectHr(hr, S_OK,
                            std::string("the reference host's ") + c.name +
                                " class is created through CoRegisterClassObject");
        }
    }
    for (const auto& c : classes) {
        ComPtr<IClassFactory> factory;
        report.ExpectHr(CoGetClassObject(*c.clsid, CLSCTX_INPROC_SERVER, nullptr, IID_IClassFactory,
                                         factory.put_void()),
                        REGDB_E_CLASSNOTREG,
                        std::string("the ") + c.name + " class is revoked with its host");
    }
}

}  // namespace

void CheckEnvelopes(CheckReport& report, const std::string& referenceFolder,
                    const std::string& runsFolder) {
    try {
        CheckHostClassObjects(report);
    } catch (const std::exception& e) {
        report.Expect(false, "the reference host's classes", e.what());
    }
    ComPtr<IPYRUtility> utility;
    if (!report.ExpectHr(CreateUtility(&utility), S_OK,
                         "CoCreateInstance by ProgID creates a utility for whole calculations"))
        return;
    for (const FeedCase& feedCase : envelope_cases::Cases()) {
        for (ThermoPath path : {ThermoPath::kHost, ThermoPath::kApp}) {
            const std::string label = Label(feedCase, path);
            const std::string file =
                referenceFolder + "\\" + envelope_cases::ReferenceFileName(feedCase, path);
            EnvelopeRun reference;
            std::string error;
            if (!report.Expect(envelope_cases::ReadReference(file, &reference, &error),
                               "reference of " + label + " read", error))
                continue;
            EnvelopeRun run;
            std::string step;
            const auto start = std::chrono::steady_clock::now();
            try {
                run = envelope_cases::RunEarlyBound(utility.Get(), feedCase, path, &step);
            } catch (const std::exception& e) {
                report.Expect(false, "calculation of " + label, e.what());
                continue;
            }
            const double seconds = Seconds(start);
            if (!runsFolder.empty()) {
                const std::string written =
                    runsFolder + "\\" + envelope_cases::ReferenceFileName(feedCase, path);
                report.Expect(envelope_cases::WriteReference(written, feedCase, path, run, &error),
                              "run of " + label + " written for comparison", error);
            }
            if (!report.ExpectHr(run.status, reference.status,
                                 step + " of " + label + " answers as on Linux"))
                continue;
            const Comparison c = envelope_cases::CompareRuns(reference, run, kAgainstLinux);
            char timing[32];
            std::snprintf(timing, sizeof timing, " (%.2f s)", seconds);
            const std::string what = label + ": " + envelope_cases::Summary(run);
            switch (c.kind) {
                case Comparison::Kind::kRowByRow:
                    report.Expect(true, what + ", equal to Linux row by row" + timing);
                    break;
                case Comparison::Kind::kInterpolatedPoints:
                    report.Expect(true, what +
                                            ", equal to Linux row by row; interpolated special"
                                            " points within 5e-4 (" +
                                            c.detail + ")" + timing);
                    break;
                case Comparison::Kind::kSpecialPoints:
                    // A step decision went the other way: the curves'
                    // intermediate points moved, the special points and
                    // the counts of rows of each kind stayed.
                    report.Expect(true, what +
                                            ", special points and row counts equal to Linux;"
                                            " rows differ by a step decision (" +
                                            c.detail + ")" + timing);
                    break;
                case Comparison::Kind::kDifferent:
                    report.Expect(false, label + " equal to Linux", c.detail);
                    break;
            }
        }
    }
}

void CheckLateBoundUtility(CheckReport& report) {
    ComPtr<IPYRUtility> early;
    ComPtr<IPYRUtility> utility;
    if (!report.ExpectHr(CreateUtility(&early), S_OK, "a utility for early-bound calls") ||
        !report.ExpectHr(CreateUtility(&utility), S_OK, "a utility for late-bound calls"))
        return;
    ComPtr<IDispatch> late;
    if (!report.ExpectHr(utility->QueryInterface(IID_IDispatch, late.put_void()), S_OK,
                         "the late-bound utility offers IDispatch"))
        return;

    try {
        CheckLateBoundBookkeeping(report, early.Get(), late.Get());
    } catch (const std::exception& e) {
        report.Expect(false, "late-bound bookkeeping calls", e.what());
    }

    // The binary is the quickest whole calculation; exactly equal rows show
    // that every argument of SetThermo, InitializePropertyIDs and Execute
    // crossed the type library's marshalling unchanged.
    const FeedCase& binary = envelope_cases::Cases()[2];
    for (ThermoPath path : {ThermoPath::kHost, ThermoPath::kApp}) {
        const std::string label = Label(binary, path);
        try {
            const EnvelopeRun want = envelope_cases::RunEarlyBound(early.Get(), binary, path);
            const EnvelopeRun got = LateBoundRun(report, late.Get(), binary, path);
            const Comparison c = envelope_cases::CompareRuns(want, got, kIdentical);
            report.Expect(c.kind == Comparison::Kind::kRowByRow && !got.rows.empty(),
                          "Execute late-bound, " + label + ": " + envelope_cases::Summary(got) +
                              ", identical to early-bound",
                          c.detail.empty() ? "no rows" : c.detail);
        } catch (const std::exception& e) {
            report.Expect(false, "late-bound calculation of " + label, e.what());
        }
    }
}

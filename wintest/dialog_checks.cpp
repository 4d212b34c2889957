// The options dialog of a full calculation, worked and captured from inside
// the test host while user32 runs it modally.
#include "wintest/dialog_checks.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <new>
#include <vector>

#include "host/identifiers.h"
#include "host/interfaces.h"
#include "platform/bstr.h"
#include "platform/com.h"
#include "ui/options_dialog_template.h"
#include "wintest/envelope_cases.h"

namespace {

using envelope_cases::CaseHost;
using envelope_cases::FeedCase;
using envelope_cases::ThermoPath;
using platform::Bstr;
using platform::ComPtr;

const wchar_t kUtilityProgId[] = L"pyThreePhaseEnvelope.pyThreePhaseEnvelope";

// How long the dialog script may take before the watchdog closes the
// dialog, and how long after that before it ends the process.
const DWORD kScriptLimitMs = 5000;
const DWORD kCloseGraceMs = 5000;
// The timer's period, and how long a captured dialog is left to paint.
const UINT kTickMs = 20;
const DWORD kPaintWaitMs = 500;

// --- The recording plot view ---------------------------------------------------

struct UpdateCall {
    IUnknown* results = nullptr;   // identity only, no reference held
    bool registryAnswers = false;  // the registry argument is an IPropertyEnumerationRegistry
    int type = -1;
};

struct ViewLog {
    int created = 0;
    std::vector<UpdateCall> updates;
    std::vector<LONG> shows;  // owner window handles
};

IUnknown* Identity(IUnknown* object) {
    if (object == nullptr)
        return nullptr;
    IUnknown* identity = nullptr;
    if (FAILED(object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity))))
        return nullptr;
    identity->Release();  // the object outlives the comparison
    return identity;
}

// An IUtilityView that records its calls into a ViewLog and draws nothing.
class RecordingView : public IUtilityView {
  public:
    explicit RecordingView(ViewLog* log) : log_(log) { ++log_->created; }
    virtual ~RecordingView() = default;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch) ||
            IsEqualIID(iid, IID_IUtilityView)) {
            *out = static_cast<IUtilityView*>(this);
            AddRef();
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
    ULONG STDMETHODCALLTYPE Release() override {
        const LONG left = InterlockedDecrement(&refs_);
        if (left == 0)
            delete this;
        return left;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (count == nullptr)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                     UINT*) override {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE Show(LONG hwndOwner) override {
        log_->shows.push_back(hwndOwner);
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE Update(IDispatch* results, IDispatch* registry,
                                     EnvelopeType envelopeType) override {
        UpdateCall call;
        call.results = Identity(results);
        ComPtr<IPropertyEnumerationRegistry> names;
        call.registryAnswers =
            registry != nullptr &&
            SUCCEEDED(registry->QueryInterface(IID_IPropertyEnumerationRegistry, names.put_void()));
        call.type = envelopeType;
        log_->updates.push_back(call);
        return S_OK;
    }

  private:
    LONG refs_ = 1;
    ViewLog* log_;
};

// The view's class factory; lives on the stack of the check, so its
// reference count does not govern its lifetime.
class RecordingViewFactory : public IClassFactory {
  public:
    explicit RecordingViewFactory(ViewLog* log) : log_(log) {}

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *out = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *out = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** out) override {
        if (out == nullptr)
            return E_POINTER;
        *out = nullptr;
        if (outer != nullptr)
            return CLASS_E_NOAGGREGATION;
        RecordingView* view = new (std::nothrow) RecordingView(log_);
        if (view == nullptr)
            return E_OUTOFMEMORY;
        const HRESULT hr = view->QueryInterface(iid, out);
        view->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL) override { return S_OK; }

  private:
    ViewLog* log_;
};

// Offers the recording view under the plot view's class and ProgID while it
// lives: the class object in ole32's class table, the ProgID's CLSID key in
// HKEY_CLASSES_ROOT (the utility resolves the ProgID first).
class ViewRegistration {
  public:
    explicit ViewRegistration(ViewLog* log) : factory_(log) {
        classHr_ = CoRegisterClassObject(CLSID_PyranaEnvelopeView, &factory_, CLSCTX_INPROC_SERVER,
                                         REGCLS_MULTIPLEUSE, &cookie_);
        const std::wstring clsid = GuidText(CLSID_PyranaEnvelopeView);
        HKEY key = nullptr;
        LONG status = RegCreateKeyExW(HKEY_CLASSES_ROOT, kKey, 0, nullptr, 0, KEY_WRITE, nullptr,
                                      &key, nullptr);
        if (status == ERROR_SUCCESS) {
            status = RegSetValueExW(key, nullptr, 0, REG_SZ,
                                    reinterpret_cast<const BYTE*>(clsid.c_str()),
                                    static_cast<DWORD>((clsid.size() + 1) * sizeof(wchar_t)));
            RegCloseKey(key);
        }
        keyStatus_ = status;
    }
    ~ViewRegistration() {
        if (SUCCEEDED(classHr_))
            CoRevokeClassObject(cookie_);
        RegDeleteTreeW(HKEY_CLASSES_ROOT, kProgIdKey);
        RegDeleteKeyW(HKEY_CLASSES_ROOT, kProgIdKey);
    }
    ViewRegistration(const ViewRegistration&) = delete;
    ViewRegistration& operator=(const ViewRegistration&) = delete;

    HRESULT classResult() const { return classHr_; }
    LONG keyStatus() const { return keyStatus_; }

  private:
    static constexpr const wchar_t* kProgIdKey = L"pyThreePhaseEnvelope.EnvelopeView";
    static constexpr const wchar_t* kKey = L"pyThreePhaseEnvelope.EnvelopeView\\CLSID";
    RecordingViewFactory factory_;
    DWORD cookie_ = 0;
    HRESULT classHr_ = E_FAIL;
    LONG keyStatus_ = ERROR_INVALID_FUNCTION;
};

// --- The dialog script -----------------------------------------------------------

const int kRadios[] = {IDC_ENVELOPE_PT, IDC_ENVELOPE_TV, IDC_ENVELOPE_PV, IDC_ENVELOPE_TH,
                       IDC_ENVELOPE_PH, IDC_ENVELOPE_TS, IDC_ENVELOPE_PS};

// The radios in the order they are clicked, with the type "View" must send.
struct RadioStep {
    int id;
    const char* text;
    EnvelopeType type;
};
const RadioStep kClicks[] = {
    {IDC_ENVELOPE_PT, "PT", etPT}, {IDC_ENVELOPE_PV, "PV", etPV}, {IDC_ENVELOPE_PH, "PH", etPH},
    {IDC_ENVELOPE_PS, "PS", etPS}, {IDC_ENVELOPE_TV, "TV", etTV}, {IDC_ENVELOPE_TH, "TH", etTH},
    {IDC_ENVELOPE_TS, "TS", etTS},
};

// The fields with the container's property each shows.
struct Field {
    int id;
    const char* property;
};
const Field kFields[] = {
    {IDC_CRITICAL_TEMPERATURE, "2PhaseCriticalT"},
    {IDC_CRITICAL_PRESSURE, "2PhaseCriticalP"},
    {IDC_CRICONDENTHERM, "Cricondentherm"},
    {IDC_CRICONDENBAR, "Cricondenbar"},
};

// What the script saw after clicking one radio and "View".
struct ClickResult {
    std::vector<int> checked;  // radios checked after the click
    size_t updates = 0;        // Update calls seen after "View"
    size_t shows = 0;          // Show calls seen after "View"
};

// The script's state. One script runs at a time; the timer procedure and the
// watchdog find it through gScript.
struct DialogScript {
    bool capture = false;
    std::string bmpPath;
    ViewLog* log = nullptr;
    DWORD threadId = 0;

    HWND dialog = nullptr;
    DWORD foundAt = 0;
    bool done = false;
    std::vector<int> checkedAtStart;
    std::map<int, std::string> fieldTexts;
    std::vector<ClickResult> clicks;
    std::string captureError = "the dialog was not captured";
    bool captured = false;

    // Set by the watchdog thread.
    volatile LONG timedOut = 0;
};

DialogScript* gScript = nullptr;

BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    char className[16] = "";
    char title[64] = "";
    GetClassNameA(window, className, sizeof className);
    GetWindowTextA(window, title, sizeof title);
    if (std::string(className) == "#32770" && std::string(title) == ENVELOPE_OPTIONS_CAPTION) {
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CloseDialogs(HWND window, LPARAM) {
    char className[16] = "";
    GetClassNameA(window, className, sizeof className);
    if (std::string(className) == "#32770")
        PostMessageA(window, WM_CLOSE, 0, 0);
    return TRUE;
}

std::vector<int> CheckedRadios(HWND dialog) {
    std::vector<int> checked;
    for (int id : kRadios) {
        if (IsDlgButtonChecked(dialog, id) == BST_CHECKED)
            checked.push_back(id);
    }
    return checked;
}

std::string ItemText(HWND dialog, int id) {
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// Clicks a button the way the mouse does (button down and up on it): the
// button checks itself if it is a radio and notifies the dialog.
void Click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Copies `window` (frame and caption included) into a 32-bit bottom-up BMP.
bool WriteWindowBmp(HWND window, const std::string& path, std::string* error) {
    RECT frame;
    if (!GetWindowRect(window, &frame)) {
        *error = "GetWindowRect failed";
        return false;
    }
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    HDC windowDc = GetWindowDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(windowDc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = bitmap != nullptr && bits != nullptr;
    if (ok) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
        if (!ok)
            *error = "BitBlt from the window failed";
    } else {
        *error = "CreateDIBSection failed";
    }
    if (ok) {
        const DWORD imageSize = static_cast<DWORD>(width) * height * 4;
        BITMAPFILEHEADER header = {};
        header.bfType = 0x4D42;  // "BM"
        header.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
        header.bfSize = header.bfOffBits + imageSize;
        info.bmiHeader.biSizeImage = imageSize;
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(&header), sizeof header);
        out.write(reinterpret_cast<const char*>(&info.bmiHeader), sizeof info.bmiHeader);
        out.write(static_cast<const char*>(bits), imageSize);
        ok = static_cast<bool>(out);
        if (!ok)
            *error = "cannot write " + path;
    }
    if (bitmap != nullptr)
        DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    return ok;
}

// One tick of the script, dispatched by the dialog's modal loop.
void CALLBACK ScriptTick(HWND, UINT, UINT_PTR, DWORD) {
    DialogScript* script = gScript;
    if (script == nullptr || script->done || script->timedOut)
        return;
    if (script->dialog == nullptr) {
        EnumThreadWindows(script->threadId, FindDialog, reinterpret_cast<LPARAM>(&script->dialog));
        if (script->dialog == nullptr)
            return;
        script->foundAt = GetTickCount();
        script->checkedAtStart = CheckedRadios(script->dialog);
        for (const Field& field : kFields)
            script->fieldTexts[field.id] = ItemText(script->dialog, field.id);
    }
    HWND dialog = script->dialog;
    if (script->capture) {
        // Let the modal loop show and paint the dialog before copying it.
        if (GetTickCount() - script->foundAt < kPaintWaitMs)
            return;
        RedrawWindow(dialog, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_FRAME | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
        script->captured = WriteWindowBmp(dialog, script->bmpPath, &script->captureError);
    } else {
        for (const RadioStep& step : kClicks) {
            ClickResult result;
            Click(dialog, step.id);
            result.checked = CheckedRadios(dialog);
            Click(dialog, IDC_ENVELOPE_VIEW);
            result.updates = script->log->updates.size();
            result.shows = script->log->shows.size();
            script->clicks.push_back(result);
        }
    }
    script->done = true;
    Click(dialog, IDC_ENVELOPE_CLOSE);
}

// The watchdog: waits for `finished`; past the limit it closes the dialog
// (the script failed), and if Execute still does not come back it ends the
// process rather than hang the test.
struct Watchdog {
    HANDLE finished = nullptr;
    DialogScript* script = nullptr;
};

DWORD WINAPI WatchdogThread(void* parameter) {
    Watchdog* watchdog = static_cast<Watchdog*>(parameter);
    if (WaitForSingleObject(watchdog->finished, kScriptLimitMs) == WAIT_OBJECT_0)
        return 0;
    InterlockedExchange(&watchdog->script->timedOut, 1);
    EnumThreadWindows(watchdog->script->threadId, CloseDialogs, 0);
    if (WaitForSingleObject(watchdog->finished, kCloseGraceMs) == WAIT_OBJECT_0)
        return 0;
    std::printf("FAIL options dialog: Execute did not return within %lu s; process ended\n",
                static_cast<unsigned long>((kScriptLimitMs + kCloseGraceMs) / 1000));
    std::fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    return 0;
}

// The result of one Execute with the dialog script running.
struct DialogRun {
    HRESULT created = E_FAIL;              // creation of the utility
    HRESULT status = E_FAIL;               // Execute's result (or the failing step's)
    std::string step;                      // the call that produced `status`
    std::map<std::string, double> values;  // the container's values of kFields
    IUnknown* container = nullptr;         // the container's identity
};

double ReadScalar(IPropContainer* container, IPropertyEnumerationRegistry* registry,
                  const char* name) {
    LONG id = 0;
    Bstr text(name);
    if (FAILED(registry->GetPropertyIDByName(text.Get(), &id)))
        return kUndefined;
    VARIANT value;
    VariantInit(&value);
    double result = kUndefined;
    if (SUCCEEDED(container->GetProperty(id, &value)) && V_VT(&value) == VT_R8)
        result = V_R8(&value);
    VariantClear(&value);
    return result;
}

// Creates the utility, connects it to a new host of the dry gas (host path)
// and runs Execute with bCalculationOnly 0 while `script` drives the dialog.
DialogRun RunWithDialog(DialogScript* script) {
    DialogRun run;
    const FeedCase& dryGas = envelope_cases::Cases().front();
    CaseHost host(dryGas, ThermoPath::kHost);
    ComPtr<IPYRUtility> utility;
    CLSID clsid = GUID_NULL;
    run.created = CLSIDFromProgID(kUtilityProgId, &clsid);
    if (SUCCEEDED(run.created)) {
        run.created = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPYRUtility,
                                       utility.put_void());
    }
    if (FAILED(run.created))
        return run;
    run.step = "SetThermo";
    run.status = utility->SetThermo(host.PropManager().Get(), host.FlashManager().Get(), nullptr,
                                    nullptr, 0);
    if (SUCCEEDED(run.status)) {
        run.step = "InitializePropertyIDs";
        run.status = utility->InitializePropertyIDs(host.PropertyRegistry().Get());
    }
    if (SUCCEEDED(run.status)) {
        run.step = "Execute";
        script->threadId = GetCurrentThreadId();
        gScript = script;
        Watchdog watchdog;
        watchdog.finished = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        watchdog.script = script;
        HANDLE thread = CreateThread(nullptr, 0, WatchdogThread, &watchdog, 0, nullptr);
        const UINT_PTR timer = SetTimer(nullptr, 0, kTickMs, ScriptTick);
        VARIANT noIds;
        VariantInit(&noIds);
        run.status = utility->Execute(nullptr, nullptr, nullptr, host.Phases().Get(),
                                      host.Container().Get(), 1, 0, 0, noIds);
        KillTimer(nullptr, timer);
        SetEvent(watchdog.finished);
        if (thread != nullptr) {
            WaitForSingleObject(thread, INFINITE);
            CloseHandle(thread);
        }
        CloseHandle(watchdog.finished);
        gScript = nullptr;
    }
    utility->ReleaseThermo();

    ComPtr<IDispatch> container = host.Container();
    run.container = Identity(container.Get());
    ComPtr<IPropContainer> values;
    ComPtr<IPropertyEnumerationRegistry> registry;
    ComPtr<IDispatch> registryObject = host.PropertyRegistry();
    if (SUCCEEDED(container.QueryInterface(IID_IPropContainer, &values)) &&
        SUCCEEDED(registryObject.QueryInterface(IID_IPropertyEnumerationRegistry, &registry))) {
        for (const Field& field : kFields)
            run.values[field.property] = ReadScalar(values.Get(), registry.Get(), field.property);
    }
    return run;
}

std::string Names(const std::vector<int>& radios) {
    std::string names;
    for (int id : radios) {
        for (const RadioStep& step : kClicks) {
            if (step.id == id)
                names += (names.empty() ? "" : ", ") + std::string(step.text);
        }
    }
    return names.empty() ? "none" : names;
}

// The text a field shows for `value`: "%g", empty for the undefined marker.
std::string FieldText(double value) {
    if (value == kUndefined)
        return std::string();
    char text[32];
    std::snprintf(text, sizeof text, "%g", value);
    return text;
}

// Checks the view's registration; false when the dialog cannot be run.
bool CheckRegistration(CheckReport& report, const ViewRegistration& registration) {
    bool ok = report.ExpectSucceeded(registration.classResult(),
                                     "options dialog: the recording view's class is registered");
    ok &= report.Expect(
        registration.keyStatus() == ERROR_SUCCESS,
        "options dialog: the view's ProgID key is written",
        "RegCreateKeyEx/RegSetValueEx error " + std::to_string(registration.keyStatus()));
    CLSID resolved = GUID_NULL;
    const HRESULT hr = CLSIDFromProgID(PYRANA_ENVELOPE_VIEW_PROGID, &resolved);
    ok &= report.Expect(SUCCEEDED(hr) && IsEqualCLSID(resolved, CLSID_PyranaEnvelopeView),
                        "options dialog: the view's ProgID resolves to its class",
                        "CLSIDFromProgID answered " + HrText(hr));
    return ok;
}

bool CheckExecuted(CheckReport& report, const DialogRun& run, const ViewLog& log,
                   const DialogScript& script) {
    if (!report.ExpectSucceeded(run.created, "options dialog: the utility is created by ProgID"))
        return false;
    const bool executed =
        report.Expect(run.status == S_OK,
                      "options dialog: Execute (dry gas, host path, bCalculationOnly 0) returns "
                      "after the dialog",
                      run.step + " returned " + HrText(run.status));
    report.Expect(!script.timedOut, "options dialog: the script finished before the watchdog",
                  "closed by the watchdog after " + std::to_string(kScriptLimitMs / 1000) + " s");
    report.ExpectInt(log.created, 1, "options dialog: the plot view is created once");
    return executed &&
           report.Expect(script.dialog != nullptr,
                         "options dialog: the \"" ENVELOPE_OPTIONS_CAPTION "\" window is found",
                         "no dialog window of that caption on the thread");
}

}  // namespace

void CheckOptionsDialog(CheckReport& report, const std::string& referenceFolder) {
    try {
        ViewLog log;
        ViewRegistration registration(&log);
        if (!CheckRegistration(report, registration))
            return;
        DialogScript script;
        script.log = &log;
        const DialogRun run = RunWithDialog(&script);
        if (!CheckExecuted(report, run, log, script))
            return;

        // The initial state: "PT" alone checked, the fields showing the values
        // the calculation wrote to the container.
        report.Expect(script.checkedAtStart == std::vector<int>{IDC_ENVELOPE_PT},
                      "options dialog: opens with \"PT\" checked",
                      "checked: " + Names(script.checkedAtStart));
        envelope_cases::EnvelopeRun reference;
        std::string error;
        const bool haveReference = envelope_cases::ReadReference(
            referenceFolder + "\\dry-gas.host.txt", &reference, &error);
        for (const Field& field : kFields) {
            const double value =
                run.values.count(field.property) != 0 ? run.values.at(field.property) : kUndefined;
            const std::string want = FieldText(value);
            const std::string got = script.fieldTexts[field.id];
            report.Expect(got == want,
                          "options dialog: field " + std::to_string(field.id) + " shows " +
                              field.property + " \"" + want + "\"",
                          "shows \"" + got + "\"");
            // The full calculation wrote the same special point as the
            // calculation-only run of the Linux build.
            if (haveReference) {
                const double expected = reference.scalars[field.property];
                report.Expect(value != kUndefined && envelope_cases::Close(value, expected, 5e-4),
                              "options dialog: " + std::string(field.property) +
                                  " equals the Linux build's to 5e-4",
                              FieldText(value) + " against " + FieldText(expected));
            }
        }
        report.Expect(haveReference, "options dialog: the dry gas's reference file is read", error);

        // Each radio, then "View": the view is updated with that radio's type
        // and the container, and shown owned by the dialog.
        report.ExpectInt(static_cast<long long>(script.clicks.size()), 7,
                         "options dialog: seven radio clicks each followed by \"View\"");
        const LONG owner = static_cast<LONG>(reinterpret_cast<LONG_PTR>(script.dialog));
        for (size_t i = 0; i < script.clicks.size() && i < 7; ++i) {
            const RadioStep& step = kClicks[i];
            const ClickResult& click = script.clicks[i];
            const std::string what = std::string("options dialog: \"") + step.text + "\" + View";
            report.Expect(click.checked == std::vector<int>{step.id}, what + ": only it checked",
                          "checked: " + Names(click.checked));
            if (!report.ExpectInt(static_cast<long long>(click.updates),
                                  static_cast<long long>(i + 1), what + ": one Update"))
                continue;
            const UpdateCall& update = log.updates[i];
            report.ExpectInt(update.type, step.type, what + ": Update receives its EnvelopeType");
            report.Expect(update.results == run.container && update.registryAnswers,
                          what + ": Update receives the container and the property registry",
                          update.results == run.container ? "the registry is not one"
                                                          : "another results object");
            report.Expect(click.shows == i + 1 && log.shows[i] == owner,
                          what + ": Show owned by the dialog",
                          std::to_string(click.shows) + " Show calls");
        }
        report.Expect(!IsWindow(script.dialog), "options dialog: \"Close\" ends the dialog");
    } catch (const std::exception& e) {
        report.Expect(false, "options dialog", e.what());
    }
}

void CaptureOptionsDialog(CheckReport& report, const std::string& bmpPath) {
    try {
        ViewLog log;
        ViewRegistration registration(&log);
        if (!CheckRegistration(report, registration))
            return;
        DialogScript script;
        script.log = &log;
        script.capture = true;
        script.bmpPath = bmpPath;
        const DialogRun run = RunWithDialog(&script);
        if (!CheckExecuted(report, run, log, script))
            return;
        report.Expect(script.captured, "options dialog: captured into " + bmpPath,
                      script.captureError);
    } catch (const std::exception& e) {
        report.Expect(false, "options dialog capture", e.what());
    }
}

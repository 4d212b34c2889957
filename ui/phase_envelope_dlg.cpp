// The options dialog: construction with its plot view, the dialog
// procedure, the special points shown, the envelope type read from the radio
// buttons, and the dialog step of Execute.
#include "ui/phase_envelope_dlg.h"

#include <cstdio>

#include "core/com_error.h"
#include "core/units.h"
#include "ui/options_dialog_resource.h"

namespace {

// Radio buttons in the order ReadEnvelopeType asks them, with their types.
struct RadioType {
    int id;
    EnvelopeType type;
};
const RadioType kRadioTypes[] = {
    {IDC_ENVELOPE_PT, etPT}, {IDC_ENVELOPE_PV, etPV}, {IDC_ENVELOPE_PH, etPH},
    {IDC_ENVELOPE_PS, etPS}, {IDC_ENVELOPE_TV, etTV}, {IDC_ENVELOPE_TS, etTS},
    {IDC_ENVELOPE_TH, etTH},
};

// The properties shown, in the order they are read, with their fields.
struct ShownProperty {
    const wchar_t* name;
    int field;
};
const ShownProperty kShownProperties[] = {
    {L"2PhaseCriticalP", IDC_CRITICAL_PRESSURE},
    {L"2PhaseCriticalT", IDC_CRITICAL_TEMPERATURE},
    {L"Cricondentherm", IDC_CRICONDENTHERM},
    {L"Cricondenbar", IDC_CRICONDENBAR},
};

}  // namespace

int EnvelopeTypeOfRadio(int id) {
    for (const RadioType& r : kRadioTypes) {
        if (r.id == id)
            return r.type;
    }
    return -1;
}

int RadioOfEnvelopeType(int type) {
    for (const RadioType& r : kRadioTypes) {
        if (r.type == type)
            return r.id;
    }
    return -1;
}

CPhaseEnvelopeDlg::CPhaseEnvelopeDlg() {
    VariantInit(&value_);
    value_.vt = VT_R8;
    value_.dblVal = kUndefined;
    CLSID clsid;
    HRESULT hr = CLSIDFromProgID(PYRANA_ENVELOPE_VIEW_PROGID, &clsid);
    if (FAILED(hr))
        throw CPYCOMError(hr);
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                          IID_IUtilityView, reinterpret_cast<void**>(&view_));
    if (FAILED(hr))
        throw CPYCOMError(hr);
    if (view_ == nullptr)
        throw CPYCOMError(E_POINTER);
}

CPhaseEnvelopeDlg::~CPhaseEnvelopeDlg() {
    SafeRelease(view_);
    SafeRelease(results_);
    SafeRelease(resultObject_);
    SafeRelease(registry_);
    SafeRelease(utility_);
    SafeRelease(utilityManager_);
    SafeRelease(phaseCollection_);
    SafeRelease(propManager_);
    VariantClear(&value_);
}

void CPhaseEnvelopeDlg::Attach(IPYRUtility* utility, IPYRUtilityManager* utilityManager,
                               IDispatch* phaseCollection, IDispatch* propContainer,
                               IPropManager* propManager) {
    auto keep = [](auto* object, auto** slot) {
        if (object != nullptr)
            object->AddRef();
        *slot = object;
    };
    keep(utility, &utility_);
    keep(utilityManager, &utilityManager_);
    keep(phaseCollection, &phaseCollection_);
    keep(propContainer, &resultObject_);
    keep(propManager, &propManager_);
    if (propContainer != nullptr && FAILED(propContainer->QueryInterface(
                                        IID_IPropContainer, reinterpret_cast<void**>(&results_)))) {
        results_ = nullptr;
    }
    if (propManager != nullptr &&
        FAILED(propManager->QueryInterface(IID_IPropertyEnumerationRegistry,
                                           reinterpret_cast<void**>(&registry_)))) {
        registry_ = nullptr;
    }
}

INT_PTR CPhaseEnvelopeDlg::DoModal(HWND owner) {
    RegisterOptionsDialogTemplate();
    return DialogBoxParamA(OptionsDialogModule(), MAKEINTRESOURCEA(IDD), owner, DialogProc,
                           reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK CPhaseEnvelopeDlg::DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        auto* self = reinterpret_cast<CPhaseEnvelopeDlg*>(lParam);
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        self->hwnd_ = hwnd;
        self->OnInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CPhaseEnvelopeDlg*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    return self != nullptr ? self->OnMessage(msg, wParam) : FALSE;
}

INT_PTR CPhaseEnvelopeDlg::OnMessage(UINT msg, WPARAM wParam) {
    if (msg == WM_CLOSE) {
        EndDialog(hwnd_, 0);
        return TRUE;
    }
    if (msg != WM_COMMAND || HIWORD(wParam) != BN_CLICKED)
        return FALSE;
    switch (LOWORD(wParam)) {
        case IDC_ENVELOPE_VIEW:
            OnView();
            return TRUE;
        case IDC_ENVELOPE_CLOSE:
            EndDialog(hwnd_, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

void CPhaseEnvelopeDlg::OnInitDialog() {
    CheckDlgButton(hwnd_, IDC_ENVELOPE_PT, BST_CHECKED);
    ShowEnvelopeProperties();
    envelopeType_ = ReadEnvelopeType();
}

void CPhaseEnvelopeDlg::ShowEnvelopeProperties() {
    for (const ShownProperty& shown : kShownProperties) {
        LONG id = PYR_UNDEFINED_INT;
        BSTR name = SysAllocString(shown.name);
        if (registry_ != nullptr && name != nullptr)
            registry_->GetPropertyIDByName(name, &id);
        SysFreeString(name);
        // The last double stays when the container delivers nothing usable.
        const double previous = value_.dblVal;
        if (results_ != nullptr && registry_ != nullptr) {
            VariantClear(&value_);
            results_->GetProperty(id, &value_);
            if (value_.vt != VT_R8) {
                VariantClear(&value_);
                value_.vt = VT_R8;
                value_.dblVal = previous;
            }
        }
        char text[32] = "";
        if (value_.dblVal != kUndefined)
            std::snprintf(text, sizeof text, "%g", value_.dblVal);
        SetDlgItemTextA(hwnd_, shown.field, text);
    }
}

EnvelopeType CPhaseEnvelopeDlg::ReadEnvelopeType() const {
    for (const RadioType& r : kRadioTypes) {
        if (IsDlgButtonChecked(hwnd_, r.id) == BST_CHECKED)
            return r.type;
    }
    return etPT;
}

void CPhaseEnvelopeDlg::OnView() {
    envelopeType_ = ReadEnvelopeType();
    view_->Update(resultObject_, registry_, static_cast<EnvelopeType>(envelopeType_));
    view_->Show(static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd_)));
}

HRESULT ShowOptionsDialog(IPYRUtility* utility, IPYRUtilityManager* utilityManager,
                          IDispatch* phaseCollection, IDispatch* propContainer,
                          IPropManager* propManager) {
    try {
        CPhaseEnvelopeDlg dialog;
        dialog.Attach(utility, utilityManager, phaseCollection, propContainer, propManager);
        dialog.DoModal(GetActiveWindow());
        return S_OK;
    } catch (const CPYCOMError& e) {
        return e.Result();
    } catch (...) {
        return E_FAIL;
    }
}

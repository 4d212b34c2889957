// The "Envelope Options" dialog shown after a full calculation: it shows the
// critical point, cricondentherm and cricondenbar just written to the
// host's property container, lets the user choose the coordinate pair of
// the plot, and hands the results to the plot view (IUtilityView, created by
// its ProgID) on "View". It changes no calculation state.
//
// On Windows the dialog is template 201 of the module's resources, run by
// user32; elsewhere the same template is registered with the portable
// dialog runtime (options_dialog_resource.h) and run by its driver.
#pragma once

#include <cstdint>

#include "host/interfaces.h"
#include "platform/com.h"
#include "platform/dialog.h"
#include "ui/options_dialog_template.h"

class CPhaseEnvelopeDlg {
  public:
    enum { IDD = IDD_ENVELOPE_OPTIONS };

    // Creates the plot view from PYRANA_ENVELOPE_VIEW_PROGID (in process or
    // out of process). A ProgID that does not resolve or a view that cannot
    // be created raises CPYCOMError with that HRESULT.
    CPhaseEnvelopeDlg();
    // Releases the view and everything Attach took.
    ~CPhaseEnvelopeDlg();
    CPhaseEnvelopeDlg(const CPhaseEnvelopeDlg&) = delete;
    CPhaseEnvelopeDlg& operator=(const CPhaseEnvelopeDlg&) = delete;

    // Hands over the objects of the calculation; each non-null one is
    // AddRef'd and kept until destruction. propContainer is also queried for
    // IPropContainer (the values shown come from there) and propManager for
    // IPropertyEnumerationRegistry (the names are looked up there); a failed
    // query leaves that reference empty and the values it would deliver
    // unshown. Call once, before DoModal.
    void Attach(IPYRUtility* utility, IPYRUtilityManager* utilityManager,
                IDispatch* phaseCollection, IDispatch* propContainer, IPropManager* propManager);

    // Runs the dialog modally, owned by `owner` (may be null). Returns the
    // value it ended with (0 for Close), or -1 when it could not be run.
    INT_PTR DoModal(HWND owner);

    // The envelope type last read from the radio buttons.
    EnvelopeType envelopeType() const { return static_cast<EnvelopeType>(envelopeType_); }

  private:
    static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT msg, WPARAM wParam);
    void OnInitDialog();
    void ShowEnvelopeProperties();
    EnvelopeType ReadEnvelopeType() const;
    void OnView();

    HWND hwnd_ = nullptr;
    IUtilityView* view_ = nullptr;
    int32_t envelopeType_ = etPT;
    IDispatch* resultObject_ = nullptr;
    IPropContainer* results_ = nullptr;
    IPropertyEnumerationRegistry* registry_ = nullptr;
    IPYRUtility* utility_ = nullptr;
    IPYRUtilityManager* utilityManager_ = nullptr;
    IDispatch* phaseCollection_ = nullptr;
    IPropManager* propManager_ = nullptr;
    // Receives each value read from the container; a value the container
    // does not deliver leaves the previous double in place.
    VARIANT value_;
};

// The options-dialog step of Execute (an OptionsDialogHook): constructs the
// dialog, hands it the call's objects and runs it modally, owned by the
// active window. Returns S_OK whatever the dialog ended with, or the
// HRESULT of a plot view that could not be created (E_OUTOFMEMORY, E_FAIL
// for other failures); nothing else is changed.
HRESULT ShowOptionsDialog(IPYRUtility* utility, IPYRUtilityManager* utilityManager,
                          IDispatch* phaseCollection, IDispatch* propContainer,
                          IPropManager* propManager);

// The envelope type the radio button `id` stands for, or -1 for an ID that
// is not one of the seven radio buttons.
int EnvelopeTypeOfRadio(int id);
// The radio button standing for `type`, or -1 for a value outside etPT..etTS.
int RadioOfEnvelopeType(int type);

// The plot view component (IUtilityView, ProgID
// "pyThreePhaseEnvelope.EnvelopeView", CLSID_PyranaEnvelopeView): Update
// reads the envelope results from the host's property container through the
// host's property-name registry and remembers the coordinate pair; Show
// draws the envelope in that pair into a picture file (SVG, PNG or PDF by
// the extension).
//
// The view lives in the process of the program that hosts the utility: that
// program registers its class for as long as it wants views, and says where
// the pictures go:
//
//     plotview::ViewSettings settings;
//     settings.outputPath = "envelope.png";
//     settings.title = "methane 0.5, n-butane 0.3, n-decane 0.1, water 0.1";
//     plotview::EnvelopeViewRegistration views(settings);   // CoInitialize first
//     ... Execute; the options dialog creates a view and presses View ...
//     for (const std::string& file : views.WrittenFiles()) ...
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "host/interfaces.h"
#include "platform/com.h"

namespace plotview {

struct ViewSettings {
    // The picture each Show writes. "{axes}" in it is replaced by the pair
    // shown ("PT", "PV", ...), so that views of several pairs can be kept.
    // Empty: Show draws nothing and answers S_FALSE.
    std::string outputPath;
    // Title of the picture, e.g. the fluid; a second line may follow a '\n'.
    // Empty: "Phase envelope".
    std::string title;
    // Size of the picture in points (a PNG has two pixels per point).
    double width = 900.0;
    double height = 640.0;
    // The property-name registry to use when Update is given none (a host
    // whose property manager does not offer one). Held while registered.
    platform::ComPtr<IPropertyEnumerationRegistry> registry;
};

struct ViewState;

// Offers the view class in this process for the registration's lifetime:
// its class factory with CoRegisterClassObject (REGCLS_MULTIPLEUSE) and its
// ProgID in the registry (HKCR\pyThreePhaseEnvelope.EnvelopeView\CLSID and
// HKCR\CLSID\{clsid}\ProgID), both removed again by the destructor. COM must
// be initialised on the thread, which must also be the one that destroys
// the registration.
class EnvelopeViewRegistration {
  public:
    explicit EnvelopeViewRegistration(ViewSettings settings);
    ~EnvelopeViewRegistration();
    EnvelopeViewRegistration(const EnvelopeViewRegistration&) = delete;
    EnvelopeViewRegistration& operator=(const EnvelopeViewRegistration&) = delete;

    // S_OK, or why the class could not be offered (then nothing is
    // registered).
    HRESULT status() const { return status_; }

    // Pictures written by the views of this registration, in order.
    std::vector<std::string> WrittenFiles() const;
    // Why a Show or Update failed, one line per failure, in order.
    std::vector<std::string> Errors() const;
    // How many times Update and Show were called.
    int UpdateCount() const;
    int ShowCount() const;

  private:
    std::shared_ptr<ViewState> state_;
    DWORD cookie_ = 0;
    HRESULT status_ = E_FAIL;
};

// Creates a view object bound to `settings`, as the class factory does, with
// one reference in *view. S_OK, E_POINTER, E_OUTOFMEMORY.
HRESULT CreateEnvelopeView(const ViewSettings& settings, IUtilityView** view);

}  // namespace plotview

// The thermodynamics of a calculation answered by the host framework's
// objects: the working phase (put in the liquid or vapour root, its ln
// fugacity coefficients and properties computed by the property manager),
// the host's stability test on the conditions phase, whose composition is
// the feed's, and the host's flash of the phase collection.
#pragma once

#include <cstdint>

#include "bridge/thermo_bridge.h"
#include "host/interfaces.h"
#include "platform/com.h"

// The host flash's temperature settings as the calculation found them: a
// seed temperature is put with these bounds and steps.
struct FlashSeed {
    bool saved = false;  // the settings were read (else nothing is seeded)
    int32_t temperaturePropId = 0;
    double lower = 0.0, upper = 0.0, step = 0.0, tolerance = 0.0;
};

// The host objects of one calculation, borrowed for its length.
struct HostObjects {
    IPhaseCollection* phases = nullptr;
    IFlashSettings* flashSettings = nullptr;
    IFlashManager* flashManager = nullptr;
    ISettingsCompanion* companion = nullptr;
    IPropManager* propManager = nullptr;
    // The phase the engines evaluate, and where the stability test puts
    // the further phase it finds.
    IPhase* workingPhase = nullptr;
    // The conditions phase: its temperature and pressure are those the
    // stability test is made at.
    IPhase* conditionsPhase = nullptr;
    int32_t methodSetting = 3;
    // Registered property IDs.
    int32_t lnPhiPropId = 0;
    int32_t enthalpyPropId = 0;
    int32_t entropyPropId = 0;
    int32_t volumePropId = 0;
    FlashSeed seed;
};

class HostThermo final : public ThermoBridge {
  public:
    // feed: the conditions phase's own mole fractions (ncomp), put back
    // after a test of another composition.
    HostThermo(const HostObjects& objects, int32_t ncomp, const double* feed);
    HostThermo(const HostThermo&) = delete;
    HostThermo& operator=(const HostThermo&) = delete;

    void BeginTwoPhaseTrace(bool) override {}
    void BeginThreePhaseTrace() override {}
    void EndTrace() override {}
    bool HasPhase(PhaseRoot) const override { return true; }
    void SelectPhase(PhaseRoot root) override;
    LnPhiChannel& Channel() override { return channel_; }
    bool FindsFurtherPhase(double tK, double pKpa, bool* lighter) override;
    void FurtherPhaseComposition(double* out) override;
    bool FindsPhaseBelow(double tK, double pKpa, const double* x, double* found) override;
    bool HasPhaseProperties() const override { return true; }
    HRESULT PhaseProperties(double pKpa, double tK, const double* x, double* h, double* s,
                            double* v) override;
    void SeedTemperature(double tK) override;
    void FlashAtVapourFraction(CalculationState* u, double pKpa, int32_t* numbPhases, double* H,
                               double* S, double* V) override;
    int32_t FlashAtTemperature(CalculationState* u, double tK, double pKpa, double* H, double* S,
                               double* V, bool* vapourSeen) override;

  private:
    class WorkingPhaseChannel final : public LnPhiChannel {
      public:
        WorkingPhaseChannel(const HostObjects& objects, int32_t ncomp)
            : objects_(objects), ncomp_(ncomp) {}
        void PutPressure(double pKpa) override;
        void PutTemperature(double tKelvin) override;
        void PutActive() override;
        void SendComposition(const double* w) override;
        void Evaluate(double* result, const uint8_t* flags) override;
        // The phase's composition array is fetched again on first use.
        void Forget() { composition_ = nullptr; }

      private:
        const HostObjects& objects_;
        int32_t ncomp_;
        platform::ComPtr<IRealArrayDisp> composition_;
    };

    // The phase's molar enthalpy, entropy and volume at its present state;
    // the HRESULT of the last call, or of the first that failed.
    HRESULT StateProperties(IPhase* phase, double* h, double* s, double* v);
    // The stability test at tK, pKpa; the phase type it leaves on the
    // working phase.
    int32_t StabilityTest(double tK, double pKpa);
    // The phase (kind, index) of the collection; null when tolerateMissing
    // and the collection has none.
    platform::ComPtr<IPhase> CollectionPhase(int kind, int index, bool tolerateMissing);
    // Puts the flash specification on the collection's specification phase:
    // pressure (kPa), fraction, temperature (K), enthalpy and entropy unset.
    void PutFlashSpecification(double pKpa, double fraction, double tKelvin);
    // Reads the collection's phase (kind, index) after a flash: when it is
    // active, its fraction and composition, and its enthalpy, entropy and
    // molar volume times its fraction added to *H, *S, *V; false for an
    // inactive phase (or, with tolerateMissing, an absent one).
    bool ReadPhase(int kind, int index, double* fraction, double* comp, double* H, double* S,
                   double* V, bool tolerateMissing);

    HostObjects objects_;
    int32_t ncomp_;
    const double* feed_;
    WorkingPhaseChannel channel_;
};

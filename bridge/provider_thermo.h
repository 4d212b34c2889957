// The thermodynamics of a calculation answered by the application-side
// provider: its liquid and vapour phases (ln fugacities read and turned into
// ln phi), its further-phase search on its feed and its flashes. The
// provider computes no phase properties for the engines. Provider calls are not tested, as the
// provider reports nothing through their results; an absent phase raises E_POINTER when it is
// evaluated.
#pragma once

#include <cstdint>

#include "bridge/thermo_bridge.h"
#include "host/interfaces.h"
#include "platform/com.h"

class ProviderThermo final : public ThermoBridge {
  public:
    // feed: the provider's own mole fractions (ncomp), put back after a
    // test of another composition.
    ProviderThermo(IAppThermoProvider* provider, int32_t ncomp, const double* feed);
    ~ProviderThermo() override;
    ProviderThermo(const ProviderThermo&) = delete;
    ProviderThermo& operator=(const ProviderThermo&) = delete;

    void BeginTwoPhaseTrace(bool liquidsOnly) override;
    void BeginThreePhaseTrace() override;
    void EndTrace() override;
    bool HasPhase(PhaseRoot root) const override;
    void SelectPhase(PhaseRoot root) override;
    LnPhiChannel& Channel() override { return channel_; }
    bool FindsFurtherPhase(double tK, double pKpa, bool* lighter) override;
    void FurtherPhaseComposition(double* out) override;
    bool FindsPhaseBelow(double tK, double pKpa, const double* x, double* found) override;
    bool HasPhaseProperties() const override { return false; }
    HRESULT PhaseProperties(double, double, const double*, double*, double*, double*) override {
        return E_NOTIMPL;
    }
    void SeedTemperature(double tK) override;
    void FlashAtVapourFraction(CalculationState* u, double pKpa, int32_t* numbPhases, double* H,
                               double* S, double* V) override;
    int32_t FlashAtTemperature(CalculationState* u, double tK, double pKpa, double* H, double* S,
                               double* V, bool* vapourSeen) override;

  private:
    class AppPhaseChannel final : public LnPhiChannel {
      public:
        AppPhaseChannel(VARIANT* exchange, int32_t ncomp) : exchange_(exchange), ncomp_(ncomp) {}
        void Bind(IAppPhase* phase);
        void PutPressure(double pKpa) override;
        void PutTemperature(double tKelvin) override;
        void PutActive() override {}
        void SendComposition(const double* w) override;
        void Evaluate(double* result, const uint8_t* flags) override;

      private:
        void EnsureArray();

        IAppPhase* phase_ = nullptr;
        VARIANT* exchange_;
        int32_t ncomp_;
        double lastPressureKpa_ = 0.0;
        const double* lastComposition_ = nullptr;
    };

    IAppThermoProvider* provider_;
    int32_t ncomp_;
    const double* feed_;
    // The provider's phases, held only during a trace.
    platform::ComPtr<IAppPhase> liquid_;
    platform::ComPtr<IAppPhase> vapour_;
    // The array through which compositions and ln fugacities pass
    // (VT_ARRAY | VT_R8, ncomp elements).
    VARIANT exchange_;
    AppPhaseChannel channel_;
};

// A whole calculation as a host runs it, for tests: the reference host for a
// fluid, the utility object connected to it (host objects or the
// application-side provider), Execute, and the results read back from the
// property container.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "bridge/thermo_bridge.h"
#include "component/py_three_phase_envelope.h"
#include "host/interfaces.h"
#include "platform/com.h"
#include "pyrana/app/provider.h"
#include "pyrana/objects/host.h"
#include "pyrana/thermo/fluid.h"

struct EnvelopeRow {
    int type;
    double pKpa;
    double tK;
    double h;
    double s;
    double v;
};

struct EnvelopeRun {
    HRESULT status = E_FAIL;
    std::vector<EnvelopeRow> rows;
    // A scalar output, or -32767 when the container does not hold it.
    double Scalar(const char* name) const;
    std::vector<std::pair<std::string, double>> scalars;
    int Count(int type) const;
};

// Builds a fluid from (name, fraction) pairs of database compounds, with
// optional k_ij overrides by name.
struct FluidSpec {
    std::vector<std::pair<std::string, double>> components;
    std::vector<std::tuple<std::string, std::string, double>> kij;
    pyrana::thermo::EosKind eos = pyrana::thermo::EosKind::PR;
};

class EnvelopeHarness {
  public:
    explicit EnvelopeHarness(const FluidSpec& spec, bool useProvider = false);
    ~EnvelopeHarness();

    // Runs Execute with the full output (bCalculationOnly 0) and reads the
    // type array, the results matrix and the scalars.
    EnvelopeRun Run();

    pyrana::objects::Host& host() { return *host_; }
    IPYRUtility* utility() { return utility_; }
    pyThreePhaseEnvelope* object() { return static_cast<pyThreePhaseEnvelope*>(utility_); }
    IPhase* container() { return container_.Get(); }
    IPhaseCollection* phases() { return phases_.Get(); }

  private:
    std::unique_ptr<pyrana::objects::Host> host_;
    platform::ComPtr<IAppThermoProvider> provider_;
    platform::ComPtr<IPhaseCollection> phases_;
    platform::ComPtr<IPhase> container_;
    IPYRUtility* utility_ = nullptr;
    bool useProvider_;
};

// The thermodynamics of a calculation on `u`'s path, as
// the driver's set-up makes it: on the host path the working phase and the
// conditions phase given (flash method 3), on the provider's path the
// provider. `u` must outlive it.
std::unique_ptr<ThermoBridge> ThermoBridgeFor(UtilityState* u, IPhase* working, IPhase* conditions);

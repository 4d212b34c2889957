// Helpers shared by the tests of the reference host's COM objects and of the
// application-side provider: fluids by database name, a fixture that
// initialises COM and checks that no host object outlives a test, and the
// calls a client makes to set up and read phases.
#pragma once

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>
#include <vector>

#include "host/interfaces.h"
#include "platform/com.h"
#include "pyrana/thermo/fluid.h"

namespace pyrana::testing {

// A fluid of database compounds (PR unless told); fails the test on a bad name.
thermo::Fluid MakeFluid(std::initializer_list<const char*> names,
                        thermo::EosKind eos = thermo::EosKind::PR);

// COM initialised for each test; every host object released by its end.
class HostTest : public ::testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// The phase of `kind`/`index` of a collection as IPhase (fails the test when absent).
platform::ComPtr<IPhase> PhaseOf(IPhaseCollection* phases, int kind, int index);

// The values of a phase's composition array.
std::vector<double> CompositionOf(IPhase* phase);

// Puts the conditions of a saturation flash (temperature -32767) or, with
// `t` > 0, of a PT flash on the kind-1 phase, as the utility does, and flashes.
HRESULT FlashAt(IFlashManager* flash, IPhaseCollection* phases, double t, double p,
                double vapourFraction);

}  // namespace pyrana::testing

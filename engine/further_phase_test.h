// The thermodynamics' further-phase test asked about a phase other than the
// feed. An equilibrium of three phases is stable only where no phase lies
// below the tangent plane they share; the three-phase tracer asks this test
// about one of its phases at each point of a boundary.
#pragma once

class FurtherPhaseTest {
  public:
    virtual ~FurtherPhaseTest() = default;

    // True when, at tK (K) and pKpa (kPa), the test finds a phase below the
    // tangent plane of a phase of mole fractions x (ncomp, summing to 1);
    // that phase's mole fractions go to `found` (ncomp). Host failures raise
    // CPYCOMError; the host's conditions and feed are as they were after
    // the call, whichever way it ends.
    virtual bool FindsPhaseBelow(double tK, double pKpa, const double* x, double* found) = 0;
};

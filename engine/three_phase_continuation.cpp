// Continuation along the boundaries of the three-phase region.
#include "engine/three_phase_continuation.h"

#include <cmath>

#include "engine/com_error.h"
#include "engine/matrix_lu_solver.h"
#include "engine/step_control.h"
#include "engine/three_phase_point_solver.h"

namespace {

const double kInitialStep = 0.5;
const double kMaxStep = 1.0;
const int kMaxPasses = 400;
const double kCollapseLimit = 1e-4;
const double kStallLimit = 0.005;
const int kStallCount = 2;
const double kKpaPerAtm = 101.325;
const int kResetMask = 159;

// Whether the sign change of unknown `changed` between the previous point
// (prev) and X marks a critical point: every other significant unknown of
// the same family kept its sign, none is far from zero on both sides (with
// three compounds or more), and their critical temperatures agree to 10 K.
bool CriticalSignChange(const double* prev, const double* X, int32_t changed, int32_t offset,
                        int32_t ncomp, const uint8_t* flags, const double* Tc) {
    if (!(prev[offset + changed] * X[offset + changed] < 0.0))
        return false;
    bool haveReference = false;
    double tcRef = 0.0;
    for (int32_t j = 0; j < ncomp; ++j) {
        if (flags[j] == 1)
            continue;
        const double now = X[offset + j];
        const double before = prev[offset + j];
        if (!(now * before >= 0.0 && std::fabs(now) > 0.005 && std::fabs(before) > 0.005)) {
            continue;
        }
        if (!haveReference) {
            if (ncomp < 3 || (std::fabs(now) > 0.5 && std::fabs(before) > 0.5))
                return false;
            haveReference = true;
            tcRef = Tc[j];
        } else if (std::fabs(Tc[j] - tcRef) > 10.0) {
            return false;
        }
    }
    return true;
}

// The offset from the current point at which the predicted ln K `k`
// vanishes. -X[k] is that offset when ln K is itself the specification
// variable; in general the step is taken in another unknown, and the zero of
// the predictor's cubic for ln K is found by Newton's method from the
// tangent's estimate. Falls back to -X[k] when no zero lies within one and a
// half steps (`delta`, the last step) of the current point.
double CrossingOffset(const ThreePhaseTracer* tr, int32_t k, double delta) {
    const double c0 = tr->hist[0][k];
    const double c1 = tr->hist[1][k];
    const double c2 = tr->hist[2][k];
    const double c3 = tr->hist[3][k];
    if (c1 == 0.0)
        return -c0;
    double s = -c0 / c1;
    for (int iter = 0; iter < 8; ++iter) {
        const double f = ((c3 * s + c2) * s + c1) * s + c0;
        const double df = (3.0 * c3 * s + 2.0 * c2) * s + c1;
        if (df == 0.0)
            break;
        s -= f / df;
    }
    const double f = ((c3 * s + c2) * s + c1) * s + c0;
    if (!std::isfinite(s) || std::fabs(s) > 1.5 * std::fabs(delta) || std::fabs(f) > 1e-6)
        return -c0;
    return s;
}

// Near a critical end point two of the three phases become alike, and the
// ln K between them tend to zero together, whichever unknown the step is
// taken in; a point converged close to that zero has the near-singular
// Jacobian of a critical point, where the corrector fails and the trace used
// to collapse short of it. A step that would take some ln K from beyond 0.1
// to within 0.1 of zero is stretched (to at most twice its size, keeping its
// direction) so that this ln K ends 0.1 past zero; the point converged there
// then shows the sign change that records the critical end point.
void StretchPastZero(ThreePhaseTracer* tr, double* X, const uint8_t* flags, double* stepSize) {
    const double band = 0.1;
    const double* c0 = tr->hist[0];
    const double s0 = *stepSize;
    for (int round = 0; round < 3; ++round) {
        int32_t k = -1;
        double nearest = band;
        for (int32_t i = 0; i < 2 * tr->ncomp; ++i) {
            if (flags[i] == 1 || std::fabs(c0[i]) <= band)
                continue;
            if (std::fabs(X[i]) < nearest) {
                nearest = std::fabs(X[i]);
                k = i;
            }
        }
        if (k < 0 || X[k] == c0[k])
            return;
        const double target = c0[k] > 0.0 ? -band : band;
        double s = *stepSize * (target - c0[k]) / (X[k] - c0[k]);
        if (!(s * s0 > 0.0))
            return;
        if (std::fabs(s) > 2.0 * std::fabs(s0))
            s = 2.0 * s0;
        *stepSize = s;
        Predict(tr, X, s, flags);
    }
}

bool InsideWindow(double P, double Pmin, double Pmax) {
    return P >= Pmin && P <= Pmax;
}

}  // namespace

void BeginTrace(ThreePhaseTracer* tr, IAppThermoProvider* provider) {
    tr->phaseCode1 = 1;
    tr->phaseCodeRef = -1;
    tr->phaseCode2 = 2;
    for (int32_t i = 0; i < tr->neq; ++i) {
        for (int32_t j = 0; j < tr->neq; ++j)
            tr->jac[i][j] = i == j ? 1.0 : 0.0;
        tr->resid[i] = 0.0;
        tr->sens[i] = 0.0;
        for (double* row : tr->hist)
            row[i] = 0.0;
    }
    if (provider == nullptr)
        return;
    provider->get_VapourPhase(&tr->appPhaseRef);
    provider->get_LiquidPhase(&tr->appPhaseOther);
    if (tr->appPhaseOther == nullptr)
        provider->get_Liquid2Phase(&tr->appPhaseOther);
}

void Predict(ThreePhaseTracer* tr, double* out, double s, const uint8_t* flags) {
    double** c = tr->hist;
    for (int32_t i = 0; i < tr->neq; ++i) {
        if (flags[i] == 1)
            continue;
        out[i] = ((c[3][i] * s + c[2][i]) * s + c[1][i]) * s + c[0][i];
    }
}

void UpdatePredictor(ThreePhaseTracer* tr, int32_t* specVarIdx, const double* X, double* stepSize,
                     const uint8_t* flags, int32_t accessMode, EnvelopePointStore* store,
                     int32_t* numbCalculatedPoints, const double* Tc, int32_t numFree,
                     uint8_t* critFound) {
    const int32_t nc = tr->ncomp;
    const int32_t neq = tr->neq;
    double* c0 = tr->hist[0];
    double* c1 = tr->hist[1];
    double* c2 = tr->hist[2];
    double* c3 = tr->hist[3];
    const double* sens = tr->sens;

    int32_t newSpec = 0;
    int32_t c = 0;
    double largest = -1.0;
    double largestK = -1.0;
    for (int32_t i = 0; i < neq; ++i) {
        if (flags[i] == 1)
            continue;
        c2[i] = c0[i];
        c3[i] = c1[i];
        const double a = std::fabs(sens[i]);
        if (a > largest) {
            largest = a;
            newSpec = i;
        }
        if (i < 2 * nc && a > largestK) {
            largestK = a;
            c = i;
        }
    }
    const bool noHistory = c2[newSpec] == 0.0;
    if (noHistory)
        newSpec = tr->idxLnP;
    if (c >= nc)
        c -= nc;

    int32_t type = 0;
    int32_t crossing = -1;  // the ln K whose sign change marks the critical point
    bool found = false;
    if (!noHistory && numFree > 1) {
        if (CriticalSignChange(c2, X, c, 0, nc, flags, Tc)) {
            type = kPointThreePhaseCritical;
            crossing = c;
            found = true;
        }
        if (CriticalSignChange(c2, X, c, nc, nc, flags, Tc)) {
            type = found ? kPointThreePhaseCriticalOther : kPointThreePhaseCritical;
            crossing = nc + c;
            found = true;
        }
        if (found)
            *critFound = 1;
    }

    const double a = sens[newSpec];
    const double b = c3[newSpec];
    for (int32_t i = 0; i < neq; ++i) {
        if (flags[i] == 1)
            continue;
        c1[i] = sens[i] / a;
        if (!noHistory)
            c3[i] /= b;
        c0[i] = X[i];
    }

    if (!noHistory) {
        const double delta = c0[newSpec] - c2[newSpec];
        *stepSize = delta;
        for (int32_t i = 0; i < neq; ++i) {
            if (flags[i] == 1)
                continue;
            const double A = ((c2[i] - c0[i]) + delta * c1[i]) / (delta * delta);
            const double B = (c3[i] - c1[i]) / delta;
            c2[i] = 3.0 * A + B;
            c3[i] = (2.0 * A + B) / delta;
        }
        if (found) {
            Predict(tr, tr->sens, CrossingOffset(tr, crossing, delta), flags);
            const double T = ClampedExp(tr->sens[neq - 3]);
            const double P = ClampedExp(tr->sens[neq - 2]);
            const int32_t row = *numbCalculatedPoints;
            store->SetPointType(row, type, accessMode);
            store->SetValue(row, kCodePressure, P * kKpaPerAtm, accessMode);
            store->SetValue(row, kCodeTemperature, T, accessMode);
            *numbCalculatedPoints += 1;
        }
    }
    *specVarIdx = newSpec;
}

HRESULT EvaluatePhaseProperties(ThreePhaseTracer* tr, double pKpa, double T,
                                const double* composition, IPhase* phase, IPropManager* propManager,
                                double* h, double* s, double* v) {
    HRESULT hr = phase->put_Active(1);
    if (FAILED(hr))
        return hr;
    if (FAILED(hr = phase->put_Pressure(pKpa)))
        return hr;
    if (FAILED(hr = phase->put_Temperature(T)))
        return hr;
    IDispatch* object = nullptr;
    if (FAILED(hr = phase->get_CompositionObject(&object)))
        return hr;
    if (object == nullptr)
        return E_POINTER;
    IRealArrayDisp* array = nullptr;
    hr = object->QueryInterface(IID_IRealArrayDisp, reinterpret_cast<void**>(&array));
    object->Release();
    if (FAILED(hr))
        return hr;
    for (int32_t i = 0; i < tr->ncomp; ++i) {
        hr = array->put_IthValue(i, composition[i]);
        if (FAILED(hr)) {
            array->Release();
            return hr;
        }
    }
    array->Release();

    struct Property {
        int32_t id;
        HRESULT (STDMETHODCALLTYPE IPhase::*get)(double*);
        double* out;
    };
    const Property properties[3] = {{tr->propIdEnthalpy, &IPhase::get_Enthalpy, h},
                                    {tr->propIdEntropy, &IPhase::get_Entropy, s},
                                    {tr->propIdVolume, &IPhase::get_MolarVolume, v}};
    for (const Property& p : properties) {
        if (FAILED(hr = phase->ResetProperties(kResetMask)))
            return hr;
        if (FAILED(hr = propManager->CalcProperty(p.id, phase)))
            return hr;
        if (FAILED(hr = (phase->*p.get)(p.out)))
            return hr;
    }
    return hr;
}

int TraceBoundary(ThreePhaseTracer* tr, IPhase* workingPhase, IPropManager* propManager,
                  double* betaRef, double* beta1, double* beta2, double* x1, double* xRef,
                  double* x2, const double* z, double* K1, double* K2, double Pmin, double Pmax,
                  int32_t pureCompIdx, double* X, const uint8_t* flags, double* T, double* P,
                  int32_t betaMode, int32_t accessMode, EnvelopePointStore* store,
                  int32_t pointType, const double* Tc, uint8_t* critFound,
                  IAppThermoProvider* provider, bool useAppThermo, uint8_t* stuck) {
    const int32_t nc = tr->ncomp;
    BeginTrace(tr, useAppThermo ? provider : nullptr);

    // The provider's phases are held only for this trace.
    struct PhaseGuard {
        ThreePhaseTracer* tr;
        ~PhaseGuard() {
            SafeRelease(tr->appPhaseRef);
            SafeRelease(tr->appPhaseOther);
        }
    } guard{tr};

    int32_t specVarIdx = tr->idxLnP;
    int32_t numFree = 0;
    for (int32_t i = 0; i < nc && numFree < 2; ++i) {
        if (flags[i] == 0)
            ++numFree;
    }
    int32_t numb = 0;
    store->GetNumPoints(&numb, accessMode);

    double stepSize = kInitialStep;
    int stalls = 0;
    bool firstPoint = true;
    double h1 = 0.0, h2 = 0.0, s1 = 0.0, s2 = 0.0, v1 = 0.0, v2 = 0.0;
    HRESULT status = S_OK;

    for (int pass = 1; pass < kMaxPasses; ++pass) {
        if (pass > 2 && (*P < Pmin || *P > Pmax))
            break;
        const int ret = SolvePoint(tr, workingPhase, propManager, betaRef, beta1, beta2, T, P, x1,
                                   xRef, z, x2, X, K1, K2, flags, specVarIdx, betaMode, firstPoint,
                                   pureCompIdx, useAppThermo);
        if (ret < 0) {
            if (firstPoint)
                break;
            // Retreat to half the step. A retreat still predicted outside
            // the pressure window is halved again: the window ends a trace
            // where the continuation leaves it, not where an overlong step
            // that failed happened to point.
            bool collapsed = false;
            do {
                stepSize /= 2.0;
                if (std::fabs(stepSize / kMaxStep) < kCollapseLimit) {
                    collapsed = true;
                    break;
                }
                Predict(tr, X, stepSize, flags);
            } while (!InsideWindow(ClampedExp(X[tr->idxLnP]), Pmin, Pmax));
            if (collapsed) {
                *stuck = 1;
                break;
            }
            UpdateFromUnknowns(tr, T, P, x1, xRef, x2, z, K1, K2, flags, X, betaRef, beta1, beta2,
                               betaMode);
            continue;
        }

        *T = ClampedExp(X[tr->idxLnT]);
        *P = ClampedExp(X[tr->idxLnP]);
        if (pureCompIdx < 0 || *P < Pmax) {
            const int32_t row = numb;
            const double pKpa = *P * kKpaPerAtm;
            store->SetPointType(row, pointType, accessMode);
            store->SetValue(row, kCodePressure, pKpa, accessMode);
            store->SetValue(row, kCodeTemperature, *T, accessMode);
            double h = 0.0, s = 0.0, v = 0.0;
            if (!useAppThermo) {
                if (pointType == kPointThreePhaseBubble) {
                    status = workingPhase->put_PhaseType(4);
                    CheckFailed(status);
                    status = EvaluatePhaseProperties(tr, pKpa, *T, x1, workingPhase, propManager,
                                                     &h1, &s1, &v1);
                    status = EvaluatePhaseProperties(tr, pKpa, *T, x2, workingPhase, propManager,
                                                     &h2, &s2, &v2);
                    h = h1 * *beta1 + h2 * *beta2;
                    s = s1 * *beta1 + s2 * *beta2;
                    v = v1 * *beta1 + v2 * *beta2;
                } else if (pointType == kPointLiquidLiquidUpper ||
                           pointType == kPointLiquidLiquid) {
                    status = workingPhase->put_PhaseType(3);
                    CheckFailed(status);
                    status = EvaluatePhaseProperties(tr, pKpa, *T, xRef, workingPhase, propManager,
                                                     &h1, &s1, &v1);
                    status = workingPhase->put_PhaseType(4);
                    CheckFailed(status);
                    const bool second = *beta2 > *beta1;
                    const double betaOther = second ? *beta2 : *beta1;
                    status = EvaluatePhaseProperties(tr, pKpa, *T, second ? x2 : x1, workingPhase,
                                                     propManager, &h2, &s2, &v2);
                    h = h1 * *betaRef + h2 * betaOther;
                    s = s1 * *betaRef + s2 * betaOther;
                    v = v1 * *betaRef + v2 * betaOther;
                }
            }
            store->SetValue(row, kCodeEnthalpy, h, 3);
            store->SetValue(row, kCodeEntropy, s, 3);
            store->SetValue(row, kCodeMolarVolume, v, 3);
            numb += 1;
        }

        UpdatePredictor(tr, &specVarIdx, X, &stepSize, flags, accessMode, store, &numb, Tc, numFree,
                        critFound);
        if (*critFound != 0)
            break;
        if (*P < Pmin || *P > Pmax)
            break;

        if (StepStalled(stepSize / kMaxStep, kStallLimit, kStallCount, &stalls)) {
            *stuck = 1;
            break;
        }
        AdaptStepToIterations(ret, &stepSize);
        PredictAwayFromZero([&](double* out, double s) { Predict(tr, out, s, flags); }, X,
                            specVarIdx, specVarIdx < 2 * nc, &stepSize);
        StretchPastZero(tr, X, flags, &stepSize);
        ClampStep(kMaxStep, &stepSize);
        UpdateFromUnknowns(tr, T, P, x1, xRef, x2, z, K1, K2, flags, X, betaRef, beta1, beta2,
                           betaMode);
        firstPoint = false;
    }

    if (firstPoint)
        return 1;
    store->SetNumPoints(numb, accessMode);
    return static_cast<int>(status);
}

// Predictor-corrector continuation of constant-fraction two-phase curves.
#include "engine/two_phase_continuation.h"

#include <cmath>

#include "engine/app_values.h"
#include "engine/com_error.h"
#include "engine/matrix_lu_solver.h"
#include "engine/step_control.h"
#include "engine/two_phase_point_solver.h"

namespace {

const double kInitialStep = 0.5;
const double kMaxStep = 1.0;
const int kMaxPasses = 400;
const double kCollapseLimit = 1e-4;
const double kSmallStep = 0.005;
const int kSmallStepCount = 2;
const double kRetreatKpa = 10.0;
const double kKpaPerAtm = 101.325;
const double kKelvinOffset = 273.15;

// Appends one row of pressure (kPa) and temperature (K).
void AppendPoint(EnvelopePointStore* store, int32_t* numb, int32_t type, double pKpa, double tK,
                 int32_t accessMode) {
    store->SetPointType(*numb, type, accessMode);
    store->SetValue(*numb, kCodePressure, pKpa, accessMode);
    store->SetValue(*numb, kCodeTemperature, tK, accessMode);
    *numb += 1;
}

// The curve code after a critical point: dew-side codes become the bubble
// code and back.
int32_t SwitchedCurveCode(int32_t code) {
    return code == 4 ? 1 : 4;
}

}  // namespace

void Reset(TwoPhaseTracer* tr, IAppThermoProvider* provider, bool sameKind) {
    tr->phaseTypeA = 1;
    tr->phaseTypeB = -1;
    tr->swapPending = 0;
    for (int32_t i = 0; i < tr->n; ++i) {
        for (int32_t j = 0; j < tr->n; ++j)
            tr->jac[i][j] = i == j ? 1.0 : 0.0;
        tr->resid[i] = 0.0;
        tr->sens[i] = 0.0;
        for (double* row : tr->predictor)
            row[i] = 0.0;
    }
    if (provider == nullptr)
        return;
    if (!sameKind) {
        provider->get_VapourPhase(&tr->fracZeroPhase);
        PutAppValue(tr->fracZeroPhase, &IAppPhase::get_Fraction, 0.0);
    }
    provider->get_LiquidPhase(&tr->fracOnePhase);
    if (tr->fracOnePhase == nullptr)
        provider->get_Liquid2Phase(&tr->fracOnePhase);
    PutAppValue(tr->fracOnePhase, &IAppPhase::get_Fraction, 1.0);
}

void CheckPhaseSwap(TwoPhaseTracer* tr, uint8_t* invertLine) {
    if (tr->swapPending != 0) {
        *invertLine = 1;
        tr->phaseTypeA = -tr->phaseTypeA;
        tr->phaseTypeB = -tr->phaseTypeB;
    }
    tr->swapPending = 0;
}

void Predict(TwoPhaseTracer* tr, double* out, double s, const uint8_t* flags) {
    double** c = tr->predictor;
    for (int32_t i = 0; i < tr->n; ++i) {
        if (flags[i] == 1)
            continue;
        out[i] = ((c[3][i] * s + c[2][i]) * s + c[1][i]) * s + c[0][i];
    }
}

void SortSpecialPoints(int32_t count, double* xtab, int32_t* itab) {
    for (int32_t i = 0; i < count - 1; ++i) {
        int32_t best = i;
        for (int32_t j = i + 1; j < count; ++j) {
            if (std::fabs(xtab[j]) > std::fabs(xtab[best]))
                best = j;
        }
        if (best != i) {
            const double x = xtab[i];
            xtab[i] = xtab[best];
            xtab[best] = x;
            const int32_t t = itab[i];
            itab[i] = itab[best];
            itab[best] = t;
        }
    }
}

namespace {

// The root in (-h, 0) of the slope c1 + 2 c2 s + 3 c3 s^2 of one predictor
// component; false when the slope has no real root.
bool ExtremumOffset(double c1, double c2, double c3, double h, double* s) {
    if (c3 == 0.0) {
        if (c2 == 0.0)
            return false;
        *s = -c1 / (2.0 * c2);
        return std::isfinite(*s);
    }
    if (c2 == 0.0) {
        const double r = -c1 / (3.0 * c3);
        if (r < 0.0)
            return false;
        *s = -std::sqrt(r);
        return true;
    }
    const double m = -c2 / (3.0 * c3);
    const double radicand = c1 / (c2 * m) + 1.0;
    if (radicand < 0.0)
        return false;
    double root = m * (std::sqrt(radicand) + 1.0);
    if (root * (root + h) > 0.0 && root != 0.0)
        root = c1 / (3.0 * c3 * root);
    *s = root;
    return std::isfinite(root);
}

}  // namespace

int32_t UpdatePredictor(TwoPhaseTracer* tr, int32_t* specVarIdx, const double* X, double* stepSize,
                        const uint8_t* flags, int32_t accessMode, EnvelopePointStore* store,
                        int32_t* numbCalculatedPoints, const double* critT, const double* critP,
                        int32_t nActive, int32_t* pointType) {
    (void)critP;
    const int32_t nc = tr->ncomp;
    const int32_t n = tr->n;
    double* c0 = tr->predictor[0];
    double* c1 = tr->predictor[1];
    double* c2 = tr->predictor[2];
    double* c3 = tr->predictor[3];
    const double* sens = tr->sens;

    // The previous point and its tangent move down; the fastest-changing
    // unknown becomes the specification variable.
    int32_t newIdx = -1;
    int32_t kIdx = -1;
    double largest = -1.0;
    for (int32_t i = 0; i < n; ++i) {
        if (flags[i] == 1)
            continue;
        c2[i] = c0[i];
        c3[i] = c1[i];
        if (std::fabs(sens[i]) > largest) {
            largest = std::fabs(sens[i]);
            newIdx = i;
        }
    }
    if (newIdx >= 0 && newIdx < nc)
        kIdx = newIdx;
    if (newIdx < 0)
        newIdx = nc + 1;
    const bool firstUpdate = c2[newIdx] == 0.0;
    if (firstUpdate)
        newIdx = nc + 1;
    // c2 now holds the previous point.
    const double* prev = c2;

    double xtab[3];
    int32_t itab[3];
    int32_t nSpecial = 0;

    // Critical point: the dominant ln K changed sign, and so did every
    // compound that is not clearly on one side.
    if (!firstUpdate && nActive > 1 && kIdx >= 0 && prev[kIdx] * X[kIdx] < 0.0) {
        bool critical = true;
        bool haveReference = false;
        double tc0 = 0.0;
        for (int32_t i = 0; i < nc && critical; ++i) {
            if (flags[i] != 0)
                continue;
            if (prev[i] * X[i] < 0.0)
                continue;
            if (std::fabs(prev[i]) <= 0.005 || std::fabs(X[i]) <= 0.005)
                continue;
            if (!haveReference) {
                if (nc < 3 || (std::fabs(prev[i]) > 0.5 && std::fabs(X[i]) > 0.5)) {
                    critical = false;
                } else {
                    haveReference = true;
                    tc0 = critT[i];
                }
            } else if (std::fabs(critT[i] - tc0) > 10.0) {
                critical = false;
            }
        }
        if (critical) {
            newIdx = kIdx;
            xtab[nSpecial] = -X[kIdx];
            itab[nSpecial] = kPointCritical;
            ++nSpecial;
            tr->swapPending = 1;
        }
    }

    // Tangent normalised to the new specification variable.
    const double a = sens[newIdx];
    const double b = c3[newIdx];
    for (int32_t i = 0; i < n; ++i) {
        if (flags[i] == 1)
            continue;
        c1[i] = sens[i] / a;
        if (!firstUpdate)
            c3[i] /= b;
        c0[i] = X[i];
    }

    if (!firstUpdate) {
        const double h = c0[newIdx] - c2[newIdx];
        *stepSize = h;
        const double prevSlopeT = c3[nc];
        const double prevSlopeP = c3[nc + 1];
        for (int32_t i = 0; i < n; ++i) {
            if (flags[i] == 1)
                continue;
            const double A = ((c2[i] - c0[i]) + h * c1[i]) / (h * h);
            const double B = (c3[i] - c1[i]) / h;
            c2[i] = 3.0 * A + B;
            c3[i] = (2.0 * A + B) / h;
        }

        // Extrema of temperature and pressure between the two points.
        if (std::fabs(h) < 1.01) {
            struct Extremum {
                double previousSlope;
                int32_t index;
                int32_t maxCode;
                int32_t minCode;
            };
            const Extremum extrema[2] = {
                {prevSlopeT, nc, kPointCricondentherm, kPointTemperatureMinimum},
                {prevSlopeP, nc + 1, kPointCricondenbar, kPointPressureMinimum}};
            for (const Extremum& e : extrema) {
                const int32_t i = e.index;
                if (!(e.previousSlope * c1[i] < 0.0))
                    continue;
                double s = 0.0;
                if (!ExtremumOffset(c1[i], c2[i], c3[i], h, &s))
                    continue;
                xtab[nSpecial] = s;
                itab[nSpecial] = (c2[i] + 3.0 * c3[i] * s > 0.0) ? e.minCode : e.maxCode;
                ++nSpecial;
            }
        }

        if (nSpecial > 0) {
            if (nSpecial > 1)
                SortSpecialPoints(nSpecial, xtab, itab);
            for (int32_t k = 0; k < nSpecial; ++k) {
                Predict(tr, tr->sens, xtab[k], flags);
                const double tK = ClampedExp(tr->sens[nc]);
                const double pKpa = ClampedExp(tr->sens[nc + 1]) * kKpaPerAtm;
                if (itab[k] == kPointCritical) {
                    AppendPoint(store, numbCalculatedPoints, *pointType, pKpa, tK, accessMode);
                    *pointType = SwitchedCurveCode(*pointType);
                }
                AppendPoint(store, numbCalculatedPoints, itab[k], pKpa, tK, accessMode);
                if (itab[k] == kPointCritical) {
                    AppendPoint(store, numbCalculatedPoints, *pointType, pKpa, tK, accessMode);
                }
            }
        }
    }
    *specVarIdx = newIdx;
    return newIdx;
}

int TraceCurve(TwoPhaseTracer* tr, IPhaseCollection* phases, IFlashSettings* flashSettings,
               IPhase* workingPhase, IPropManager* propManager, IFlashManager* flashManager,
               ISettingsCompanion* companion, double* beta, double* x, double* y, const double* z,
               double* K, double pressLow, double pressHigh, int32_t pureCompIdx, double* X,
               const uint8_t* flags, double* T, double* P, uint8_t* threePhaseFound,
               double* thirdPhaseComp, double* threePhaseP, double* threePhaseT, int32_t accessMode,
               EnvelopePointStore* store, uint8_t* threePhaseCheck, bool sameKind,
               uint8_t* invertLine, int32_t pointType, int32_t /*unused*/, const double* critT,
               const double* critP, uint8_t* stuck, int32_t methodSetting,
               IAppThermoProvider* provider, bool useAppThermo, IPhase* pPhase) {
    const int32_t nc = tr->ncomp;

    Reset(tr, useAppThermo ? provider : nullptr, sameKind);
    int32_t specVarIdx = nc + 1;
    int32_t nActive = 0;
    for (int32_t i = 0; i < nc && nActive < 2; ++i) {
        if (flags[i] == 0)
            ++nActive;
    }
    int32_t numb = 0;
    store->GetNumPoints(&numb, accessMode);

    double stepSize = kInitialStep;
    double halfStep = kInitialStep;
    int smallSteps = 0;
    bool firstPoint = true;
    double previousKpa = 0.0;
    int32_t curveCode = pointType;

    // Releases the provider's phases however the trace ends.
    struct PhaseGuard {
        TwoPhaseTracer* tr;
        ~PhaseGuard() {
            SafeRelease(tr->fracZeroPhase);
            SafeRelease(tr->fracOnePhase);
        }
    } guard{tr};

    for (int pass = 1; pass < kMaxPasses; ++pass) {
        CheckPhaseSwap(tr, invertLine);
        if (*P < pressLow || *P > pressHigh)
            break;

        const int rc = SolvePoint(tr, workingPhase, propManager, *beta, T, P, x, y, z, X, K, flags,
                                  specVarIdx, firstPoint, pureCompIdx, sameKind, useAppThermo);
        if (rc < 0) {
            if (firstPoint)
                break;
            stepSize /= 2.0;
            if (std::fabs(stepSize / kMaxStep) < kCollapseLimit) {
                *stuck = 1;
                break;
            }
            Predict(tr, X, stepSize, flags);
            UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
            continue;
        }

        halfStep = stepSize / 2.0;
        Predict(tr, tr->halfStepX, halfStep, flags);
        *T = ClampedExp(X[nc]);
        *P = ClampedExp(X[nc + 1]);
        const double pKpa = *P * kKpaPerAtm;
        const double tC = *T - kKelvinOffset;

        if (*threePhaseCheck != 0) {
            int lpointType = 0;
            int phT = 7;
            if (!useAppThermo) {
                CheckOk(pPhase->put_Pressure(pKpa));
                CheckOk(pPhase->put_Temperature(*T));
                CheckOk(companion->StabilityTest(flashSettings, phases, workingPhase, 1,
                                                 methodSetting, VARIANT_TRUE, flashManager));
                CheckOk(workingPhase->get_PhaseType(&lpointType));
            } else {
                PutAppValue(provider, &IAppThermoProvider::get_Temperature, tC);
                PutAppValue(provider, &IAppThermoProvider::get_Pressure, pKpa);
                provider->FindThirdPhase(&phT, &tr->compositionVariant);
            }
            const bool exists = lpointType == 4 || phT == 1 || phT == 2;
            if (exists) {
                if (!firstPoint && std::fabs(pKpa - previousKpa) > kRetreatKpa) {
                    // Retreat to half the step and look again.
                    for (int32_t i = 0; i < tr->n; ++i) {
                        if (flags[i] != 1)
                            X[i] = tr->halfStepX[i];
                    }
                    UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
                    stepSize = halfStep;
                    continue;
                }
                double sum = 0.0;
                if (!useAppThermo) {
                    IRealArrayDisp* composition = nullptr;
                    CheckOk(workingPhase->get_Composition(&composition));
                    if (composition == nullptr)
                        throw CPYCOMError(E_POINTER);
                    for (int32_t i = 0; i < nc; ++i) {
                        const HRESULT hr = composition->get_IthValue(i, &thirdPhaseComp[i]);
                        if (hr != S_OK) {
                            composition->Release();
                            throw CPYCOMError(hr);
                        }
                        sum += thirdPhaseComp[i];
                    }
                    composition->Release();
                } else {
                    VARIANT* v = &tr->compositionVariant;
                    const double* data = nullptr;
                    if ((v->vt & VT_ARRAY) != 0 && v->parray != nullptr &&
                        SUCCEEDED(SafeArrayAccessData(
                            v->parray, reinterpret_cast<void**>(const_cast<double**>(&data))))) {
                        LONG lo = 0;
                        LONG hi = -1;
                        SafeArrayGetLBound(v->parray, 1, &lo);
                        SafeArrayGetUBound(v->parray, 1, &hi);
                        for (int32_t i = 0; i < nc && i <= hi - lo; ++i) {
                            thirdPhaseComp[i] = data[i];
                            sum += data[i];
                        }
                        SafeArrayUnaccessData(v->parray);
                    }
                }
                if (std::fabs(sum - 1.0) > 1e-12 && sum > 0.0) {
                    for (int32_t i = 0; i < nc; ++i)
                        thirdPhaseComp[i] /= sum;
                }
                *threePhaseFound = 1;
                *threePhaseP = pKpa / kKpaPerAtm;
                *threePhaseT = tC + kKelvinOffset;
                if (*beta != 0.0 || *invertLine != 0)
                    break;
                *threePhaseCheck = 0;
            }
        }
        previousKpa = pKpa;

        UpdatePredictor(tr, &specVarIdx, X, &stepSize, flags, accessMode, store, &numb, critT,
                        critP, nActive, &curveCode);

        if (!(pureCompIdx >= 0 && *P >= pressHigh)) {
            AppendPoint(store, &numb, curveCode, pKpa, *T, accessMode);
        }
        if (*P < pressLow || *P > pressHigh || *threePhaseFound != 0)
            break;

        if (StepStalled(stepSize, kSmallStep, kSmallStepCount, &smallSteps)) {
            *stuck = 1;
            break;
        }
        AdaptStepToIterations(rc, &stepSize);
        // The step is bounded before the prediction, so that the step taken
        // never exceeds the maximum and the extremum tests (which need
        // |h| < 1.01) see every step of an ordinary stretch of curve.
        ClampStep(kMaxStep, &stepSize);
        PredictAwayFromZero([&](double* out, double s) { Predict(tr, out, s, flags); }, X,
                            specVarIdx, specVarIdx < nc, &stepSize);
        ClampStep(kMaxStep, &stepSize);
        UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, *beta);
        firstPoint = false;
    }

    if (firstPoint) {
        *threePhaseFound = 0;
        return 1;
    }
    if (pureCompIdx >= 0 && (previousKpa == 0.0 || previousKpa / kKpaPerAtm > pressHigh / 2.0)) {
        // A single compound's curve ends at its critical point: the bubble
        // side is the same curve, stored again in reverse.
        AppendPoint(store, &numb, kPointCritical, critP[pureCompIdx], critT[pureCompIdx],
                    accessMode);
        const int32_t mirrorCode = curveCode == 4 ? 1 : 4;
        for (int32_t row = numb - 2; row >= 0; --row) {
            double pRow = 0.0;
            double tRow = 0.0;
            store->GetValue(row, kCodePressure, &pRow, accessMode);
            store->GetValue(row, kCodeTemperature, &tRow, accessMode);
            AppendPoint(store, &numb, mirrorCode, pRow, tRow, accessMode);
        }
    }
    store->SetNumPoints(numb, accessMode);
    return 0;
}

// Newton iteration of the three-phase point solver.
#include "engine/three_phase_point_solver.h"

#include <algorithm>
#include <cmath>

#include "core/com_error.h"
#include "engine/ln_phi_differences.h"
#include "engine/matrix_lu_solver.h"

namespace {

const int kMaxIterations = 50;
const int kMaxLaterIterations = 25;
const double kTolerance = 1e-14;
const double kRelaxedTolerance = 1e-12;
const double kDivergenceLimit = 0.01;
const double kMinTemperature = 50.0;
const double kMaxTemperature = 2500.0;
const double kMaxLog = 70.0;
const double kMinSensitivity = 1e-6;
const double kDenominatorFloor = 1e-20;
// A first point's ln K whose equation is off by more than this is corrected
// by substitution before Newton.
const double kSubstitutionThreshold = 5.0;

double ClampLog(double v) {
    return v < -kMaxLog ? -kMaxLog : (v > kMaxLog ? kMaxLog : v);
}

// Whether two of the three phases are close to one: every |ln K| of one
// set, or every difference of the two sets, below 0.5.
bool NearThreePhaseCritical(const double* X, const uint8_t* flags, int32_t nc) {
    double k2 = 0.0, k1 = 0.0, k12 = 0.0;
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] != 0)
            continue;
        k2 = std::fmax(k2, std::fabs(X[i]));
        k1 = std::fmax(k1, std::fabs(X[nc + i]));
        k12 = std::fmax(k12, std::fabs(X[i] - X[nc + i]));
    }
    return std::fmin(std::fmin(k2, k1), k12) < 0.5;
}

// The sensitivity dX/dX_spec from the Jacobian in the tracer alone (its
// columns are overwritten): the reduced system solved for a zero residual,
// which leaves X as it is and refreshes the sensitivity.
HRESULT SolveTangent(ThreePhaseTracer* tr, int32_t specVarIdx, double* X, const uint8_t* flags) {
    std::fill(tr->resid, tr->resid + tr->neq, 0.0);
    double err = 0.0;
    return SolveReducedSystem(tr, specVarIdx, tr->resid, X, &err, kTolerance, flags);
}

}  // namespace

HRESULT EvaluatePhase(ThreePhaseTracer* tr, EngineThermo* thermo, int32_t phaseCode, double T,
                      double P, const double* composition, double* lnPhi, double* dLnPhidT,
                      double* dLnPhidP, double** dLnPhidn, const uint8_t* flags, bool centralTP) {
    const int32_t nc = tr->ncomp;
    try {
        const LnPhiDifferencing d{
            nc,       flags, TemperatureStep(phaseCode), false, true, tr->workComp, tr->workResult,
            centralTP};
        DifferenceLnPhi(thermo->Channel(), d, T, P, composition, lnPhi, dLnPhidT, dLnPhidP,
                        dLnPhidn);
    } catch (const CPYCOMError& e) {
        return e.Result();
    } catch (...) {
        return E_FAIL;
    }
    return S_OK;
}

HRESULT SolveReducedSystem(ThreePhaseTracer* tr, int32_t specVarIdx, double* step, double* X,
                           double* err, double tolerance, const uint8_t* flags) {
    const int32_t nc = tr->ncomp;
    const int32_t n = 2 * nc + 2;
    const int32_t s = specVarIdx;
    const int32_t beta = tr->idxLnBeta;
    double** jac = tr->jac;
    double* sens = tr->sens;

    // The fixed variable's column is replaced by the phase-fraction column;
    // its negative becomes the sensitivity's right-hand side.
    for (int32_t i = 0; i < n; ++i) {
        if (flags[i] == 1)
            continue;
        const double t = jac[i][s];
        jac[i][s] = jac[i][beta];
        sens[i] = -t;
    }
    if (FAILED(tr->luSolver.Factor(n, jac, tr->pivots)))
        return E_FAIL;
    tr->luSolver.BackSubstitute(n, jac, step, tr->pivots);
    step[beta] = step[s];
    step[s] = 0.0;

    *err = 0.0;
    for (int32_t i = 0; i < tr->neq; ++i) {
        if (flags[i] == 1)
            continue;
        X[i] -= step[i];
        *err += step[i] * step[i];
    }
    if (*err <= tolerance) {
        tr->luSolver.BackSubstitute(n, jac, sens, tr->pivots);
        sens[beta] = sens[s];
        sens[s] = 1.0;
    }
    return S_OK;
}

void UpdateFromUnknowns(ThreePhaseTracer* tr, double* T, double* P, double* x1, double* xRef,
                        double* x2, const double* z, double* K1, double* K2, const uint8_t* flags,
                        const double* X, double* betaRef, double* beta1, double* beta2,
                        int32_t betaMode) {
    const int32_t nc = tr->ncomp;
    const int32_t neq = tr->neq;
    *T = ClampedExp(X[neq - 3]);
    *P = ClampedExp(X[neq - 2]);
    const double f = ClampedExp(X[neq - 1]);
    if (betaMode == 3) {
        *beta1 = f;
        *beta2 = 1.0 - *betaRef - *beta1;
    } else if (betaMode == 5) {
        *betaRef = f;
        *beta1 = 1.0 - *betaRef - *beta2;
    } else {
        *betaRef = f;
        *beta2 = 1.0 - *betaRef - *beta1;
    }
    for (int32_t i = 0; i < nc; ++i) {
        xRef[i] = 0.0;
        x1[i] = 0.0;
        x2[i] = 0.0;
        if (flags[i] != 0)
            continue;
        K2[i] = ClampedExp(ClampLog(X[i]));
        K1[i] = ClampedExp(ClampLog(X[nc + i]));
        xRef[i] = z[i] / (*betaRef + *beta1 / K1[i] + *beta2 / K2[i]);
        x1[i] = xRef[i] / K1[i];
        x2[i] = xRef[i] / K2[i];
    }
}

namespace {

// The state of one Newton iteration: the phases' compositions and K-values,
// the fractions and the flash mode.
struct ThreePhaseState {
    const double* betaRef;
    const double* beta1;
    const double* beta2;
    const double* x1;
    const double* xRef;
    const double* z;
    const double* x2;
    const double* K1;
    const double* K2;
    int32_t betaMode;
};

// Clears the Jacobian and the balance rows' residuals, then fills the
// material balance, sum(x2 - x1) = 0 and sum(xRef) = 1, with the
// derivatives of the compositions in K1, K2 and the free fraction.
void MaterialBalanceRows(ThreePhaseTracer* tr, const ThreePhaseState& st, const uint8_t* flags) {
    const int32_t nc = tr->ncomp;
    const int32_t neq = tr->neq;
    const int32_t iT = tr->idxLnT;
    const int32_t iP = tr->idxLnP;
    const int32_t iB = tr->idxLnBeta;
    double** jac = tr->jac;
    double* resid = tr->resid;
    double* a = tr->dxRefdK1;
    double* b = tr->dxRefdK2;
    double* c = tr->dxRefdBeta;
    const double* K1 = st.K1;
    const double* K2 = st.K2;
    const double betaRef = *st.betaRef;
    const double beta1 = *st.beta1;
    const double beta2 = *st.beta2;
    for (int32_t i = 0; i < neq; ++i) {
        for (int32_t j = 0; j < neq; ++j)
            jac[i][j] = 0.0;
    }
    for (int32_t i = 0; i < 2 * nc; ++i) {
        if (flags[i] == 1)
            jac[i][i] = 1.0;
    }
    resid[iT] = 0.0;
    resid[iB] = 0.0;
    resid[iP] = -1.0;
    tr->sens[iB] = 1.0;
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 1)
            continue;
        resid[iT] += st.x2[i] - st.x1[i];
        resid[iP] += st.xRef[i];
        double d;
        if (st.betaMode == 5) {
            d = betaRef + (1.0 - betaRef - beta2) / K1[i] + beta2 / K2[i];
        } else {
            d = beta1 / K1[i] + betaRef + (1.0 - betaRef - beta1) / K2[i];
        }
        if (!(d > kDenominatorFloor))
            d = kDenominatorFloor;
        const double g = st.z[i] / d / d;
        if (st.betaMode == 3) {
            a[i] = beta1 * g / (K1[i] * K1[i]);
            b[i] = (1.0 - betaRef - beta1) * g / (K2[i] * K2[i]);
            c[i] = (1.0 / K2[i] - 1.0 / K1[i]) * g;
        } else if (st.betaMode == 5) {
            a[i] = (1.0 - betaRef - beta2) * g / (K1[i] * K1[i]);
            b[i] = beta2 * g / (K2[i] * K2[i]);
            c[i] = (1.0 / K1[i] - 1.0) * g;
        } else {
            a[i] = beta1 * g / (K1[i] * K1[i]);
            b[i] = (1.0 - betaRef - beta1) * g / (K2[i] * K2[i]);
            c[i] = (1.0 / K2[i] - 1.0) * g;
        }
        tr->dx1dK1[i] = a[i] / K1[i] - st.xRef[i] / (K1[i] * K1[i]);
        tr->dx1dK2[i] = b[i] / K1[i];
        tr->dx1dBeta[i] = c[i] / K1[i];
        tr->dx2dK1[i] = a[i] / K2[i];
        tr->dx2dK2[i] = b[i] / K2[i] - st.xRef[i] / (K2[i] * K2[i]);
        tr->dx2dBeta[i] = c[i] / K2[i];

        jac[iT][i] = K2[i] * (tr->dx2dK2[i] - tr->dx1dK2[i]);
        jac[iT][nc + i] = K1[i] * (tr->dx2dK1[i] - tr->dx1dK1[i]);
        jac[iT][iB] += tr->dx2dBeta[i] - tr->dx1dBeta[i];
        jac[iP][i] = K2[i] * b[i];
        jac[iP][nc + i] = K1[i] * a[i];
        jac[iP][iB] += c[i];
    }
}

// One liquid's evaluation and its part of its equilibrium rows (from
// `rowOffset`): ln K - ln φ of the liquid, with the liquid's composition
// derivatives dxdK2, dxdK1, dxdBeta. Host failures raise CPYCOMError; false
// when the evaluation failed otherwise.
struct LiquidRows {
    int32_t phaseCode;
    const double* x;
    double* lnPhi;
    double* dT;
    double* dP;
    double** dn;
    const double* dxdK2;
    const double* dxdK1;
    const double* dxdBeta;
    int32_t rowOffset;
};

bool AddLiquidRows(ThreePhaseTracer* tr, EngineThermo* thermo, const LiquidRows& l,
                   const ThreePhaseState& st, double T, double P, const double* X,
                   const uint8_t* flags, bool central) {
    const int32_t nc = tr->ncomp;
    const int32_t iT = tr->idxLnT;
    const int32_t iP = tr->idxLnP;
    const int32_t iB = tr->idxLnBeta;
    double** jac = tr->jac;
    thermo->SelectPhase(PhaseRoot::kLiquid);
    if (EvaluatePhase(tr, thermo, l.phaseCode, T, P, l.x, l.lnPhi, l.dT, l.dP, l.dn, flags,
                      central) != S_OK) {
        return false;
    }
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 1)
            continue;
        const int32_t r = l.rowOffset + i;
        tr->resid[r] = X[r] - l.lnPhi[i];
        jac[r][iT] = -l.dT[i];
        jac[r][iP] = -l.dP[i];
        for (int32_t j = 0; j < nc; ++j) {
            if (flags[j] != 0)
                continue;
            const double d = l.dn[i][j];
            jac[r][j] = -d * l.dxdK2[j] * st.K2[j];
            jac[r][nc + j] = -d * l.dxdK1[j] * st.K1[j];
            jac[r][iB] += -d * l.dxdBeta[j];
        }
    }
    return true;
}

// The reference phase's evaluation and its part of both liquids'
// equilibrium rows; the free fraction's column scaled to its logarithm.
// *sensitivity receives the summed magnitude of the temperature and
// pressure columns. False when the evaluation failed.
bool AddReferenceRows(ThreePhaseTracer* tr, EngineThermo* thermo, const ThreePhaseState& st,
                      double T, double P, const uint8_t* flags, bool central, double* sensitivity) {
    const int32_t nc = tr->ncomp;
    const int32_t iT = tr->idxLnT;
    const int32_t iP = tr->idxLnP;
    const int32_t iB = tr->idxLnBeta;
    double** jac = tr->jac;
    double* resid = tr->resid;
    const double* a = tr->dxRefdK1;
    const double* b = tr->dxRefdK2;
    const double* c = tr->dxRefdBeta;
    thermo->SelectPhase(PhaseRoot::kVapour);
    if (EvaluatePhase(tr, thermo, tr->phaseCodeRef, T, P, st.xRef, tr->lnPhiRef, tr->dLnPhiRefdT,
                      tr->dLnPhiRefdP, tr->dLnPhiRefdn, flags, central) != S_OK) {
        return false;
    }
    const double beta = st.betaMode == 3 ? *st.beta1 : *st.betaRef;
    *sensitivity = 0.0;
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 1)
            continue;
        const int32_t r = nc + i;
        resid[i] += tr->lnPhiRef[i];
        resid[r] += tr->lnPhiRef[i];
        jac[i][iT] = T * (tr->dLnPhiRefdT[i] + jac[i][iT]);
        jac[i][iP] = P * (tr->dLnPhiRefdP[i] + jac[i][iP]);
        jac[r][iT] = T * (tr->dLnPhiRefdT[i] + jac[r][iT]);
        jac[r][iP] = P * (tr->dLnPhiRefdP[i] + jac[r][iP]);
        *sensitivity += std::fabs(jac[i][iT]) + std::fabs(jac[i][iP]);
        for (int32_t j = 0; j < nc; ++j) {
            if (flags[j] != 0)
                continue;
            const double d = tr->dLnPhiRefdn[i][j];
            for (const int32_t row : {i, r}) {
                jac[row][j] += d * b[j] * st.K2[j];
                jac[row][nc + j] += d * a[j] * st.K1[j];
                jac[row][iB] += d * c[j];
            }
        }
        jac[i][iB] *= beta;
        jac[r][iB] *= beta;
        jac[i][i] += 1.0;
        jac[r][r] += 1.0;
    }
    jac[iT][iB] *= beta;
    jac[iP][iB] *= beta;
    return true;
}

}  // namespace

int SolvePoint(ThreePhaseTracer* tr, EngineThermo* thermo, double* betaRef, double* beta1,
               double* beta2, double* T, double* P, double* x1, double* xRef, const double* z,
               double* x2, double* X, double* K1, double* K2, const uint8_t* flags,
               int32_t specVarIdx, int32_t betaMode, bool firstPoint, int32_t pureCompIdx) {
    const int32_t nc = tr->ncomp;
    const int32_t iT = tr->idxLnT;
    const int32_t iP = tr->idxLnP;
    double* resid = tr->resid;
    const ThreePhaseState st{betaRef, beta1, beta2, x1, xRef, z, x2, K1, K2, betaMode};
    const LiquidRows liquid2{tr->phaseCode2, x2,         tr->lnPhi2, tr->dLnPhi2dT, tr->dLnPhi2dP,
                             tr->dLnPhi2dn,  tr->dx2dK2, tr->dx2dK1, tr->dx2dBeta,  0};
    const LiquidRows liquid1{tr->phaseCode1, x1,         tr->lnPhi1, tr->dLnPhi1dT, tr->dLnPhi1dP,
                             tr->dLnPhi1dn,  tr->dx1dK2, tr->dx1dK1, tr->dx1dBeta,  nc};

    int iter = 0;
    double err = 1e10;
    bool substituted = !firstPoint;
    // Near a three-phase critical point two phases grow alike and the
    // tangent from the last iteration's forward differences carries their
    // rounding amplified, as in the two-phase tracer: once converged there,
    // the Jacobian is built once more at the point, with central
    // temperature and pressure differences, for the tangent alone.
    bool refreshing = false;
    for (;;) {
        if (iter > kMaxIterations || err <= kTolerance) {
            if (refreshing || !(err <= kTolerance) || pureCompIdx >= 0 ||
                !NearThreePhaseCritical(X, flags, nc))
                break;
            refreshing = true;
        }
        if (!firstPoint && iter > kMaxLaterIterations)
            return -1;
        if (*T < kMinTemperature || *T > kMaxTemperature)
            return -2;

        MaterialBalanceRows(tr, st, flags);
        double sensitivity = 0.0;
        if (!AddLiquidRows(tr, thermo, liquid2, st, *T, *P, X, flags, refreshing) ||
            !AddLiquidRows(tr, thermo, liquid1, st, *T, *P, X, flags, refreshing) ||
            !AddReferenceRows(tr, thermo, st, *T, *P, flags, refreshing, &sensitivity)) {
            return -10;
        }

        if (refreshing) {
            if (FAILED(SolveTangent(tr, specVarIdx, X, flags)))
                return -4;
            break;
        }
        if (pureCompIdx >= 0)
            return 3;
        if (sensitivity < kMinSensitivity)
            return -3;
        // A first point seeded from a flash carries the K-values of traces (a
        // heavy hydrocarbon dissolved in water at 1e-110) only as far as the
        // guarded ratio reaches; their equations are off by a hundred in ln K,
        // which throws the first Newton step far away. Such K-values are put
        // right by one substitution, their compositions being too small to
        // move anything else.
        if (!substituted) {
            substituted = true;
            bool changed = false;
            for (int32_t i = 0; i < 2 * nc; ++i) {
                if (flags[i % nc] == 0 && std::fabs(resid[i]) > kSubstitutionThreshold) {
                    X[i] -= resid[i];
                    changed = true;
                }
            }
            if (changed) {
                UpdateFromUnknowns(tr, T, P, x1, xRef, x2, z, K1, K2, flags, X, betaRef, beta1,
                                   beta2, betaMode);
                continue;
            }
        }
        if (FAILED(SolveReducedSystem(tr, specVarIdx, resid, X, &err, kTolerance, flags))) {
            return -4;
        }
        if (!firstPoint && err >= kDivergenceLimit)
            return -5;
        if (std::fabs(X[iT]) > kMaxLog || std::fabs(X[iP]) > kMaxLog)
            return -6;
        UpdateFromUnknowns(tr, T, P, x1, xRef, x2, z, K1, K2, flags, X, betaRef, beta1, beta2,
                           betaMode);
        if (!firstPoint && iter >= kMaxLaterIterations && err < kRelaxedTolerance)
            break;
        ++iter;
    }
    return iter >= kMaxIterations ? -1 : iter;
}

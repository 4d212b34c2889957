// Newton iteration of the constant-fraction two-phase point solver.
#include "engine/two_phase_point_solver.h"

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
// Largest |ln K| at which a converged point's tangent is taken again with
// central differences.
const double kNearCriticalLnK = 0.5;
const double kMinSensitivity = 1e-6;

}  // namespace

HRESULT EvaluatePhase(TwoPhaseTracer* tr, EngineThermo* thermo, int32_t phaseType, double T,
                      double P, const double* composition, double* lnPhi, double* dLnPhidT,
                      double* dLnPhidP, double** dLnPhidn, const uint8_t* flags, bool sameKind,
                      bool centralTP) {
    const int32_t nc = tr->ncomp;
    const LnPhiDifferencing d{nc,
                              flags,
                              TemperatureStep(phaseType, sameKind),
                              true,
                              false,
                              tr->workComp,
                              tr->workResult,
                              centralTP};
    DifferenceLnPhi(thermo->Channel(), d, T, P, composition, lnPhi, dLnPhidT, dLnPhidP, dLnPhidn);
    return S_OK;
}

HRESULT SolveReducedSystem(TwoPhaseTracer* tr, int32_t specVarIdx, double* rhs, double* X,
                           double* err, double tolerance, const uint8_t* flags) {
    const int32_t nc = tr->ncomp;
    const int32_t s = specVarIdx;
    double** jac = tr->jac;
    double* sens = tr->sens;

    // The fixed variable's column is replaced by the ln P column; its
    // negative becomes the right-hand side of the sensitivity.
    for (int32_t i = 0; i <= nc; ++i) {
        if (flags[i] == 1)
            continue;
        const double t = jac[i][s];
        jac[i][s] = jac[i][nc + 1];
        sens[i] = -t;
    }
    if (FAILED(tr->luSolver.Factor(nc + 1, jac, tr->pivots)))
        return E_FAIL;
    tr->luSolver.BackSubstitute(nc + 1, jac, rhs, tr->pivots);
    rhs[nc + 1] = rhs[s];
    rhs[s] = 0.0;

    *err = 0.0;
    for (int32_t i = 0; i <= nc + 1; ++i) {
        if (flags[i] == 1)
            continue;
        X[i] -= rhs[i];
        *err += rhs[i] * rhs[i];
    }
    if (*err <= tolerance) {
        tr->luSolver.BackSubstitute(nc + 1, jac, sens, tr->pivots);
        sens[nc + 1] = sens[s];
        sens[s] = 1.0;
    }
    return S_OK;
}

namespace {

// The sensitivity dX/dX_spec from the Jacobian in the tracer alone (its
// columns are overwritten): the reduced system solved for a zero residual,
// which leaves X as it is and refreshes the sensitivity.
HRESULT SolveTangent(TwoPhaseTracer* tr, int32_t specVarIdx, double* X, const uint8_t* flags) {
    std::fill(tr->resid, tr->resid + tr->n, 0.0);
    double err = 0.0;
    return SolveReducedSystem(tr, specVarIdx, tr->resid, X, &err, kTolerance, flags);
}

}  // namespace

void UpdateFromUnknowns(TwoPhaseTracer* tr, double* T, double* P, double* x, double* y,
                        const double* z, double* K, const uint8_t* flags, const double* X,
                        double beta) {
    const int32_t nc = tr->ncomp;
    *T = ClampedExp(X[nc]);
    *P = ClampedExp(X[nc + 1]);
    for (int32_t i = 0; i < nc; ++i) {
        x[i] = 0.0;
        y[i] = 0.0;
        if (flags[i] != 0)
            continue;
        double lnK = X[i];
        if (lnK < -kMaxLog)
            lnK = -kMaxLog;
        if (lnK > kMaxLog)
            lnK = kMaxLog;
        K[i] = ClampedExp(lnK);
        if (beta == 1.0) {
            x[i] = z[i] / K[i];
            y[i] = z[i];
        } else {
            x[i] = z[i] / (beta * (K[i] - 1.0) + 1.0);
            y[i] = K[i] * x[i];
        }
    }
}

namespace {

// Chooses the phase's root and evaluates it with every derivative; false
// when the thermodynamics failed.
bool EvaluateWithDerivatives(TwoPhaseTracer* tr, EngineThermo* thermo, int32_t phaseType,
                             bool asLiquid, double T, double P, const double* composition,
                             double* lnPhi, double* dT, double* dP, double** dn,
                             const uint8_t* flags, bool sameKind, bool centralTP) {
    const bool liquid = asLiquid || phaseType == 1;
    try {
        thermo->SelectPhase(liquid ? PhaseRoot::kLiquid : PhaseRoot::kVapour);
        EvaluatePhase(tr, thermo, asLiquid ? 1 : phaseType, T, P, composition, lnPhi, dT, dP, dn,
                      flags, sameKind, centralTP);
        return true;
    } catch (const CPYCOMError&) {
        return false;
    } catch (...) {
        return false;
    }
}

// The Newton system's Jacobian and residual at the current unknowns (T, P,
// K and the compositions from them) into the tracer; *sensitivity receives
// the summed magnitude of the temperature and pressure columns. False when
// a host call failed.
bool AssembleJacobian(TwoPhaseTracer* tr, EngineThermo* thermo, double beta, double T, double P,
                      const double* x, const double* y, const double* z, const double* X,
                      const double* K, const uint8_t* flags, bool sameKind, bool centralTP,
                      double* sensitivity) {
    const int32_t nc = tr->ncomp;
    const int32_t n = tr->n;
    double** jac = tr->jac;
    double* resid = tr->resid;
    *sensitivity = 0.0;
    for (int32_t i = 0; i < n; ++i) {
        for (int32_t j = 0; j < n; ++j)
            jac[i][j] = i == j ? 1.0 : 0.0;
    }
    resid[nc] = 0.0;
    resid[nc + 1] = 0.0;
    tr->sens[nc + 1] = 1.0;

    // Material balance and the composition derivatives.
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 1)
            continue;
        double d = beta * (K[i] - 1.0) + 1.0;
        if (d <= 1e-20)
            d = 1e-20;
        const double t = z[i] / (d * d);
        resid[nc] += y[i] - x[i];
        jac[nc][i] = t * K[i];
        tr->dxdK[i] = -beta * t;
        tr->dydK[i] = (1.0 - beta) * t;
    }

    // Phase A.
    if (!EvaluateWithDerivatives(tr, thermo, tr->phaseTypeA, false, T, P, x, tr->lnPhiA,
                                 tr->dLnPhiAdT, tr->dLnPhiAdP, tr->dLnPhiAdn, flags, sameKind,
                                 centralTP)) {
        return false;
    }
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 1)
            continue;
        resid[i] = X[i] - tr->lnPhiA[i];
        jac[i][nc] = -tr->dLnPhiAdT[i];
        jac[i][nc + 1] = -tr->dLnPhiAdP[i];
        for (int32_t j = 0; j < nc; ++j) {
            if (flags[j] != 0)
                continue;
            jac[i][j] = -tr->dLnPhiAdn[i][j] * tr->dxdK[j] * K[j];
        }
    }

    // Phase B.
    if (!EvaluateWithDerivatives(tr, thermo, tr->phaseTypeB, sameKind, T, P, y, tr->lnPhiB,
                                 tr->dLnPhiBdT, tr->dLnPhiBdP, tr->dLnPhiBdn, flags, sameKind,
                                 centralTP)) {
        return false;
    }
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 1)
            continue;
        resid[i] += tr->lnPhiB[i];
        jac[i][nc] = T * (tr->dLnPhiBdT[i] + jac[i][nc]);
        jac[i][nc + 1] = P * (tr->dLnPhiBdP[i] + jac[i][nc + 1]);
        *sensitivity += std::fabs(jac[i][nc]) + std::fabs(jac[i][nc + 1]);
        for (int32_t j = 0; j < nc; ++j) {
            if (flags[j] != 0)
                continue;
            jac[i][j] += tr->dLnPhiBdn[i][j] * tr->dydK[j] * K[j];
        }
        jac[i][i] += 1.0;
    }
    jac[nc][nc] = 0.0;
    jac[nc][nc + 1] = 0.0;
    return true;
}

}  // namespace

bool FeedTakesLiquidRoot(TwoPhaseTracer* tr, EngineThermo* thermo, double T, double P,
                         const double* z, const uint8_t* flags) {
    const int32_t nc = tr->ncomp;
    if (!thermo->HasPhase(PhaseRoot::kLiquid) || !thermo->HasPhase(PhaseRoot::kVapour))
        return false;
    double gibbs[2] = {0.0, 0.0};
    for (int root = 0; root < 2; ++root) {
        if (!EvaluateWithDerivatives(tr, thermo, root == 0 ? 1 : -1, false, T, P, z, tr->lnPhiA,
                                     nullptr, nullptr, nullptr, flags, false, false))
            return false;
        for (int32_t i = 0; i < nc; ++i) {
            if (flags[i] == 0 && z[i] > 0.0)
                gibbs[root] += z[i] * tr->lnPhiA[i];
        }
    }
    return gibbs[0] < gibbs[1] - 1e-10 * (1.0 + std::fabs(gibbs[1]));
}

int SolvePoint(TwoPhaseTracer* tr, EngineThermo* thermo, double beta, double* T, double* P,
               double* x, double* y, const double* z, double* X, double* K, const uint8_t* flags,
               int32_t specVarIdx, bool firstPoint, int32_t pureCompIdx, bool sameKind) {
    const int32_t nc = tr->ncomp;
    double* resid = tr->resid;

    int iter = 0;
    double err = 1e10;
    for (;;) {
        if (iter > kMaxIterations || err <= kTolerance)
            break;
        if (!firstPoint && iter > kMaxLaterIterations)
            return -1;
        if (*T < kMinTemperature || *T > kMaxTemperature)
            return -2;

        double sensitivity = 0.0;
        if (!AssembleJacobian(tr, thermo, beta, *T, *P, x, y, z, X, K, flags, sameKind, false,
                              &sensitivity))
            return -10;

        if (pureCompIdx >= 0)
            return 3;
        if (sensitivity < kMinSensitivity)
            return -3;
        if (FAILED(SolveReducedSystem(tr, specVarIdx, resid, X, &err, kTolerance, flags))) {
            return -4;
        }
        if (!firstPoint && err >= kDivergenceLimit)
            return -5;
        if (std::fabs(X[nc]) > kMaxLog || std::fabs(X[nc + 1]) > kMaxLog)
            return -6;
        UpdateFromUnknowns(tr, T, P, x, y, z, K, flags, X, beta);
        if (!firstPoint && iter >= kMaxLaterIterations && err < kRelaxedTolerance)
            break;
        ++iter;
    }
    if (iter >= kMaxIterations)
        return -1;
    // Near a critical point the temperature and pressure columns grow
    // nearly parallel, and the tangent taken from the last iteration's
    // forward differences carries their rounding (about 1e-6) amplified:
    // the two thermodynamic paths, whose rounding differs, then stepped
    // off in different directions. The tangent is taken again at the
    // converged point with central differences; the point itself stays.
    double largestLnK = 0.0;
    for (int32_t i = 0; i < nc; ++i) {
        if (flags[i] == 0)
            largestLnK = std::fmax(largestLnK, std::fabs(X[i]));
    }
    if (err <= kTolerance && pureCompIdx < 0 && largestLnK < kNearCriticalLnK) {
        double sensitivity = 0.0;
        if (!AssembleJacobian(tr, thermo, beta, *T, *P, x, y, z, X, K, flags, sameKind, true,
                              &sensitivity))
            return -10;
        if (FAILED(SolveTangent(tr, specVarIdx, X, flags)))
            return -4;
    }
    return iter;
}

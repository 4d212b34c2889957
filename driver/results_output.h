// The results of a calculation written into the host's property container:
// on the host path first the enthalpy, entropy and molar volume of the
// two-phase rows recomputed through the host, then the point types, the
// special points as scalars, and the results matrix or the seven curves.
#pragma once

#include <cstdint>

#include "driver/utility_state.h"
#include "host/interfaces.h"
#include "platform/com.h"

class ResultsOutput {
  public:
    // propContainer is queried for IPhase and IPropContainer when written to.
    ResultsOutput(UtilityState* u, IDispatch* phaseCollection, IDispatch* propContainer);
    ~ResultsOutput();
    ResultsOutput(const ResultsOutput&) = delete;
    ResultsOutput& operator=(const ResultsOutput&) = delete;

    // Recomputes (host path) and writes everything the flags ask for:
    // bCalculationOnly 0 the results matrix and column names; otherwise, with
    // nProp 0, the seven two-column curves. Returns the recomputation's
    // status (S_OK normally). Failures of the output calls raise CPYCOMError.
    HRESULT Write(LONG bCalculationOnly, LONG nProp);

    // Re-evaluates the properties of the stored two-phase rows through a
    // single-phase set-up of the utility's phase collection; stops at the
    // first failing host call and returns its HRESULT (E_FAIL for another
    // exception), else the status of the last call.
    HRESULT RecomputeStoredProperties();

  private:
    void WriteScalarsAndTypes(int32_t nRows);
    void WriteCurves(double** rows, int32_t nRows);
    void SetScalar(int32_t propId, double value);
    void SetArray(int32_t propId, const double* values, int32_t count);
    void SetMatrix(int32_t propId, double** rows, int32_t valuesPerRow, int32_t nRows);
    IClassFactory* Factory(REFCLSID clsid, platform::ComPtr<IClassFactory>* cache);

    UtilityState* u_;
    IDispatch* propContainerObject_;
    platform::ComPtr<IPropContainer> container_;
    platform::ComPtr<IPhase> containerPhase_;
    platform::ComPtr<IClassFactory> arrayFactory_;
    platform::ComPtr<IClassFactory> matrixFactory_;
};

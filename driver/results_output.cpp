// Writing the point store into the host's property container.
#include "driver/results_output.h"

#include <algorithm>
#include <vector>

#include "core/com_error.h"
#include "core/envelope_point_store.h"

namespace {

// The phase type used to recompute a stored row's properties: liquid for dew
// rows, the bubble side and the incipient-liquid stage, vapour for the rows
// of the dew side restarted past a three-phase point, the previous choice
// for special points; -1 for rows whose writers stored their own. The
// incipient-liquid stage starts at a three-phase point on the bubble side,
// where the feed is a liquid: on the vapour root its rows near the point,
// where the feed has both roots, got a vapour's volume (1.0 m3/kmol beside
// the point's 0.033 for a CO2-rich liquid at 936 kPa).
int PhaseTypeForRow(int32_t type, int previous) {
    switch (type) {
        case kPointThreePhase:
        case kPointThreePhaseCritical:
        case kPointThreePhaseCriticalOther:
        case kPointThreePhaseBubble:
        case kPointLiquidLiquidUpper:
        case kPointLiquidLiquid:
            return -1;
        case kPointDew:
        case kPointBubble:
        case kPointIncipientLiquid:
            return kPhaseTypeLiquid;
        case kPointDewAfterThreePhase:
        case kPointDewAfterSecond:
            return kPhaseTypeVapour;
        default:
            return previous;
    }
}

}  // namespace

ResultsOutput::ResultsOutput(UtilityState* u, IDispatch*, IDispatch* propContainer)
    : u_(u), propContainerObject_(propContainer) {}

ResultsOutput::~ResultsOutput() = default;

HRESULT ResultsOutput::RecomputeStoredProperties() {
    UtilityState* u = u_;
    platform::ComPtr<IDispatch> object;
    platform::ComPtr<IPhase> phase;
    platform::ComPtr<IDispatch> compositionObject;
    platform::ComPtr<IRealArrayDisp> composition;
    HRESULT status = S_OK;
    try {
        CheckOk(u->phaseCollection->put_Mode(0));
        CheckOk(u->phaseCollection->put_NumberOfPhases(1));
        CheckOk(u->phaseCollection->get_Phase(0, object.put()));
        if (object == nullptr)
            throw CPYCOMError(E_POINTER);
        CheckFailed(object.QueryInterface(IID_IPhase, &phase));
        object = nullptr;
        CheckOk(phase->put_Active(1));
        CheckOk(phase->put_Fraction(1.0));
        CheckOk(phase->get_CompositionObject(compositionObject.put()));
        if (compositionObject == nullptr)
            throw CPYCOMError(E_POINTER);
        CheckFailed(compositionObject.QueryInterface(IID_IRealArrayDisp, &composition));
        compositionObject = nullptr;
        for (int32_t i = 0; i < u->ncomp; ++i) {
            CheckOk(composition->put_IthValue(i, u->feedComp[i]));
        }
        composition = nullptr;

        EnvelopePointStore* store = u->pointStore;
        int32_t rows = 0;
        store->GetNumPoints(&rows, 3);
        int phaseType = kPhaseTypeUnspecified;
        for (int32_t row = 0; row < rows; ++row) {
            int32_t type = 0;
            store->GetPointType(row, &type, 3);
            const int chosen = PhaseTypeForRow(type, phaseType);
            if (chosen < 0)
                continue;
            phaseType = chosen;
            double p = 0.0;
            double t = 0.0;
            store->GetValue(row, kCodePressure, &p, 3);
            store->GetValue(row, kCodeTemperature, &t, 3);
            CheckOk(status = phase->put_PhaseType(phaseType));
            CheckOk(status = phase->put_Pressure(p));
            CheckOk(status = phase->put_Temperature(t));
            struct Property {
                int32_t id;
                HRESULT (STDMETHODCALLTYPE IPhase::*get)(double*);
                int32_t code;
            };
            const Property properties[3] = {
                {u->propIds[kPropEnthalpy], &IPhase::get_Enthalpy, kCodeEnthalpy},
                {u->propIds[kPropEntropy], &IPhase::get_Entropy, kCodeEntropy},
                {u->propIds[kPropMolarVolume], &IPhase::get_MolarVolume, kCodeMolarVolume}};
            for (const Property& prop : properties) {
                CheckOk(status = phase->ResetProperties(kResetAllProperties));
                CheckOk(status = u->propManager->CalcProperty(prop.id, phase.Get()));
                double value = 0.0;
                CheckOk(status = (phase.Get()->*prop.get)(&value));
                store->SetValue(row, prop.code, value, 3);
            }
        }
        return status;
    } catch (const CPYCOMError& e) {
        status = e.Result();
    } catch (...) {
        status = E_FAIL;
    }
    return status;
}

IClassFactory* ResultsOutput::Factory(REFCLSID clsid, platform::ComPtr<IClassFactory>* cache) {
    if (*cache == nullptr) {
        CheckFailed(CoGetClassObject(clsid,
                                     CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER |
                                         CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER,
                                     nullptr, IID_IClassFactory, cache->put_void()));
    }
    return cache->Get();
}

void ResultsOutput::SetScalar(int32_t propId, double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = value;
    CheckOk(container_->SetProperty(propId, v));
}

void ResultsOutput::SetArray(int32_t propId, const double* values, int32_t count) {
    platform::ComPtr<IRealArrayDisp> array;
    VARIANT current;
    VariantInit(&current);
    CheckOk(container_->GetProperty(propId, &current));
    if (current.vt == VT_DISPATCH && current.pdispVal != nullptr) {
        if (FAILED(current.pdispVal->QueryInterface(IID_IRealArrayDisp, array.put_void()))) {
            array = nullptr;
        }
    }
    VariantClear(&current);
    if (array == nullptr) {
        CheckFailed(Factory(CLSID_PyranaRealArray, &arrayFactory_)
                        ->CreateInstance(nullptr, IID_IRealArrayDisp, array.put_void()));
    }
    CheckOk(array->put_Size(count));
    for (int32_t i = 0; i < count; ++i)
        CheckOk(array->put_IthValue(i, values[i]));
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = array.Get();
    CheckOk(container_->SetProperty(propId, v));
}

void ResultsOutput::SetMatrix(int32_t propId, double** rows, int32_t valuesPerRow, int32_t nRows) {
    platform::ComPtr<IRealMatrix> matrix;
    VARIANT current;
    VariantInit(&current);
    CheckOk(container_->GetProperty(propId, &current));
    if ((current.vt == VT_DISPATCH || current.vt == VT_UNKNOWN) && current.punkVal != nullptr) {
        if (FAILED(current.punkVal->QueryInterface(IID_IRealMatrix, matrix.put_void()))) {
            matrix = nullptr;
        }
    }
    VariantClear(&current);
    if (matrix == nullptr) {
        CheckFailed(Factory(CLSID_PyranaRealMatrix, &matrixFactory_)
                        ->CreateInstance(nullptr, IID_IRealMatrix, matrix.put_void()));
    }
    CheckOk(matrix->put_Rows(valuesPerRow));
    CheckOk(matrix->put_Columns(nRows));
    for (int32_t i = 0; i < nRows; ++i) {
        CheckOk(matrix->put_ColumnValues(i, valuesPerRow, rows[i]));
    }
    platform::ComPtr<IDispatch> asDispatch;
    CheckFailed(matrix.QueryInterface(IID_IDispatch, &asDispatch));
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = asDispatch.Get();
    CheckOk(container_->SetProperty(propId, v));
}

HRESULT ResultsOutput::Write(LONG bCalculationOnly, LONG nProp) {
    UtilityState* u = u_;
    HRESULT status = S_OK;
    if (u->useAppThermo == 0)
        status = RecomputeStoredProperties();

    if (propContainerObject_ == nullptr)
        throw CPYCOMError(E_POINTER);
    CheckFailed(propContainerObject_->QueryInterface(IID_IPhase, containerPhase_.put_void()));
    CheckFailed(propContainerObject_->QueryInterface(IID_IPropContainer, container_.put_void()));

    EnvelopePointStore* store = u->pointStore;
    int32_t nRows = 0;
    store->GetNumPoints(&nRows, 3);
    store->GetNumColumns(&u->outColumns, 3);

    WriteScalarsAndTypes(nRows);

    const int32_t columns = EnvelopePointStore::kColumns;
    std::vector<double> storage(static_cast<size_t>(nRows) * columns);
    std::vector<double*> rows(static_cast<size_t>(nRows));
    for (int32_t i = 0; i < nRows; ++i)
        rows[static_cast<size_t>(i)] = &storage[static_cast<size_t>(i) * columns];
    store->CopyValues(rows.data(), nRows, columns);

    if (bCalculationOnly == 0) {
        double names[EnvelopePointStore::kColumns];
        for (int32_t c = 0; c < columns; ++c) {
            int32_t code = 0;
            int32_t type = 0;
            store->GetColumnInfo(c, &code, &type, 3);
            names[c] = code;
        }
        SetMatrix(u->propIds[kPropEnvelopeResultsMatrix], rows.data(), columns, nRows);
        SetArray(u->propIds[kPropColumnName], names, columns);
    } else if (nProp == 0) {
        WriteCurves(rows.data(), nRows);
    }
    return status;
}

// The special points as scalars and every row's kind.
void ResultsOutput::WriteScalarsAndTypes(int32_t nRows) {
    UtilityState* u = u_;
    EnvelopePointStore* store = u->pointStore;
    // The envelope's cricondenbar and cricondentherm: of the pressure and
    // temperature maxima stored, the highest, and only when no point of the
    // dew and bubble curves lies beyond it. A trace passes several local
    // maxima, and a bubble curve that climbs out of the scan window at low
    // temperature has no maximum pressure in it.
    double curveTopP = -1.0, curveTopT = -1.0, barP = -1.0, thermT = -1.0;
    for (int32_t row = 0; row < nRows; ++row) {
        int32_t type = 0;
        double p = 0.0;
        double t = 0.0;
        store->GetPointType(row, &type, 3);
        store->GetValue(row, kCodePressure, &p, 3);
        store->GetValue(row, kCodeTemperature, &t, 3);
        if (type == kPointDew || (type >= kPointBubble && type <= kPointTemperatureMinimum)) {
            curveTopP = std::max(curveTopP, p);
            curveTopT = std::max(curveTopT, t);
        }
        if (type == kPointCricondenbar)
            barP = std::max(barP, p);
        if (type == kPointCricondentherm)
            thermT = std::max(thermT, t);
    }
    const bool writeBar = barP > 0.0 && barP >= curveTopP * (1.0 - 1e-4);
    const bool writeTherm = thermT > 0.0 && thermT >= curveTopT - 0.01;

    std::vector<double> types(static_cast<size_t>(nRows));
    for (int32_t row = 0; row < nRows; ++row) {
        int32_t type = 0;
        store->GetPointType(row, &type, 3);
        types[static_cast<size_t>(row)] = type;
        double p = 0.0;
        double t = 0.0;
        store->GetValue(row, kCodePressure, &p, 3);
        store->GetValue(row, kCodeTemperature, &t, 3);
        switch (type) {
            case kPointCritical:
                // A critical point of two liquids, on the boundary where a
                // second liquid forms, is no vapour-liquid critical point.
                if (row > 0 && types[static_cast<size_t>(row) - 1] == kPointIncipientLiquid)
                    break;
                SetScalar(u->propIds[kProp2PhaseCriticalP], p);
                SetScalar(u->propIds[kProp2PhaseCriticalT], t);
                break;
            case kPointThreePhaseCritical:
                SetScalar(u->propIds[kProp3PhaseCriticalP], p);
                SetScalar(u->propIds[kProp3PhaseCriticalT], t);
                break;
            case kPointThreePhase:
                SetScalar(u->propIds[kProp3PhaseP], p);
                SetScalar(u->propIds[kProp3PhaseT], t);
                break;
            case kPointCricondenbar:
                if (writeBar && p == barP)
                    SetScalar(u->propIds[kPropCricondenbar], p);
                break;
            case kPointCricondentherm:
                if (writeTherm && t == thermT)
                    SetScalar(u->propIds[kPropCricondentherm], t);
                break;
            default:
                break;
        }
    }
    SetArray(u->propIds[kPropTypeOfDataPoint], types.data(), nRows);
}

// The seven two-column curves: pressure and temperature against each other
// and against enthalpy, entropy and volume.
void ResultsOutput::WriteCurves(double** rows, int32_t nRows) {
    UtilityState* u = u_;
    struct Curve {
        PropertyIdIndex id;
        int first;
        int second;
    };
    const Curve curves[7] = {{kPropPTCurve, 0, 1}, {kPropPHCurve, 0, 2}, {kPropPSCurve, 0, 3},
                             {kPropPVCurve, 0, 4}, {kPropTHCurve, 1, 2}, {kPropTSCurve, 1, 3},
                             {kPropTVCurve, 1, 4}};
    std::vector<double> pairs(static_cast<size_t>(nRows) * 2);
    std::vector<double*> pairRows(static_cast<size_t>(nRows));
    for (const Curve& c : curves) {
        for (int32_t i = 0; i < nRows; ++i) {
            double* pair = &pairs[static_cast<size_t>(i) * 2];
            pair[0] = rows[i][c.first];
            pair[1] = rows[i][c.second];
            pairRows[static_cast<size_t>(i)] = pair;
        }
        SetMatrix(u->propIds[c.id], pairRows.data(), 2, nRows);
    }
}

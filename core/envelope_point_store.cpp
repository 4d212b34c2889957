// The envelope point store: fixed-capacity rows of property values with a
// point type each.
#include "core/envelope_point_store.h"
#include "core/units.h"

EnvelopePointStore::EnvelopePointStore() : maxPoints(0), numPoints(0), numColumns(0) {}

EnvelopePointStore::~EnvelopePointStore() = default;

HRESULT EnvelopePointStore::Init() {
    Free();
    maxPoints = kCapacity;
    numColumns = kColumns;
    values.assign(static_cast<size_t>(maxPoints) * numColumns, kUndefined);
    colNames.resize(numColumns);
    colTypes.resize(numColumns);
    for (int32_t j = 0; j < numColumns; ++j) {
        colNames[j] = kCodePressure + j;
        colTypes[j] = 1;
    }
    pointTypes.assign(maxPoints, 0);
    return S_OK;
}

void EnvelopePointStore::Free() {
    std::vector<double>().swap(values);
    std::vector<int32_t>().swap(colNames);
    std::vector<int32_t>().swap(colTypes);
    std::vector<int32_t>().swap(pointTypes);
}

int32_t EnvelopePointStore::ColumnOf(int32_t propCode) const {
    for (int32_t j = 0; j < numColumns; ++j) {
        if (colNames[j] == propCode)
            return j;
    }
    return -1;
}

HRESULT EnvelopePointStore::SetValue(int32_t row, int32_t propCode, double value,
                                     int32_t accessMode) {
    if (row >= maxPoints || row < 0)
        return E_FAIL;
    if (colNames.empty() || values.empty())
        return E_FAIL;
    if (!Acts(accessMode))
        return S_FALSE;
    const int32_t col = ColumnOf(propCode);
    if (col < 0)
        return E_FAIL;
    Cell(row, col) = value;
    return S_OK;
}

HRESULT EnvelopePointStore::GetValue(int32_t row, int32_t propCode, double* value,
                                     int32_t accessMode) {
    if (row >= maxPoints || row < 0)
        return E_FAIL;
    if (colNames.empty() || values.empty())
        return E_FAIL;
    if (!Acts(accessMode))
        return S_FALSE;
    const int32_t col = ColumnOf(propCode);
    if (col < 0)
        return E_FAIL;
    *value = Cell(row, col);
    return S_OK;
}

HRESULT EnvelopePointStore::SetPointType(int32_t row, int32_t code, int32_t accessMode) {
    if (!Acts(accessMode))
        return S_OK;
    if (row >= maxPoints || row < 0 || pointTypes.empty())
        return E_FAIL;
    pointTypes[row] = code;
    return S_OK;
}

HRESULT EnvelopePointStore::GetPointType(int32_t row, int32_t* code, int32_t accessMode) {
    if (!Acts(accessMode))
        return S_FALSE;
    if (row >= maxPoints || row < 0 || pointTypes.empty())
        return E_FAIL;
    *code = pointTypes[row];
    return S_OK;
}

HRESULT EnvelopePointStore::SetNumPoints(int32_t count, int32_t accessMode) {
    if (count > maxPoints)
        return E_FAIL;
    if (!Acts(accessMode))
        return S_FALSE;
    numPoints = count;
    return S_OK;
}

HRESULT EnvelopePointStore::GetNumPoints(int32_t* count, int32_t accessMode) {
    if (!Acts(accessMode)) {
        *count = 0;
        return S_FALSE;
    }
    *count = numPoints;
    return S_OK;
}

HRESULT EnvelopePointStore::GetNumColumns(int32_t* count, int32_t accessMode) {
    if (!Acts(accessMode)) {
        *count = 0;
        return S_FALSE;
    }
    *count = numColumns;
    return S_OK;
}

HRESULT EnvelopePointStore::GetColumnInfo(int32_t column, int32_t* colName, int32_t* colType,
                                          int32_t accessMode) {
    if (column >= numColumns || column < 0)
        return E_FAIL;
    if (colNames.empty() || colTypes.empty())
        return E_FAIL;
    if (!Acts(accessMode))
        return S_FALSE;
    *colName = colNames[column];
    *colType = colTypes[column];
    return S_OK;
}

HRESULT EnvelopePointStore::CopyValues(double** destRows, int32_t nRows, int32_t nCols) {
    for (int32_t i = 0; i < nRows; ++i) {
        for (int32_t j = 0; j < nCols; ++j)
            destRows[i][j] = Cell(i, j);
    }
    return S_OK;
}

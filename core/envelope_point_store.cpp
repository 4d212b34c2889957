// The envelope point store: fixed-capacity rows of property values with a
// point type each.
#include "core/envelope_point_store.h"
#include "core/units.h"

namespace {}

EnvelopePointStore::EnvelopePointStore()
    : maxPoints(0),
      numPoints(0),
      numColumns(0),
      values(nullptr),
      colNames(nullptr),
      colTypes(nullptr),
      pointTypes(nullptr) {}

EnvelopePointStore::~EnvelopePointStore() {
    Free();
}

HRESULT EnvelopePointStore::Init() {
    Free();
    maxPoints = kCapacity;
    numColumns = kColumns;
    values = new double*[maxPoints];
    for (int32_t i = 0; i < maxPoints; ++i) {
        values[i] = new double[numColumns];
        for (int32_t j = 0; j < numColumns; ++j)
            values[i][j] = kUndefined;
    }
    colNames = new int32_t[numColumns];
    colTypes = new int32_t[numColumns];
    for (int32_t j = 0; j < numColumns; ++j) {
        colNames[j] = kCodePressure + j;
        colTypes[j] = 1;
    }
    pointTypes = new int32_t[maxPoints];
    for (int32_t i = 0; i < maxPoints; ++i)
        pointTypes[i] = 0;
    return S_OK;
}

void EnvelopePointStore::Free() {
    if (values != nullptr) {
        for (int32_t i = 0; i < maxPoints; ++i)
            delete[] values[i];
        delete[] values;
        values = nullptr;
    }
    delete[] colNames;
    colNames = nullptr;
    delete[] colTypes;
    colTypes = nullptr;
    delete[] pointTypes;
    pointTypes = nullptr;
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
    if (colNames == nullptr || values == nullptr)
        return E_FAIL;
    if (!Acts(accessMode))
        return S_FALSE;
    const int32_t col = ColumnOf(propCode);
    if (col < 0)
        return E_FAIL;
    values[row][col] = value;
    return S_OK;
}

HRESULT EnvelopePointStore::GetValue(int32_t row, int32_t propCode, double* value,
                                     int32_t accessMode) {
    if (row >= maxPoints || row < 0)
        return E_FAIL;
    if (colNames == nullptr || values == nullptr)
        return E_FAIL;
    if (!Acts(accessMode))
        return S_FALSE;
    const int32_t col = ColumnOf(propCode);
    if (col < 0)
        return E_FAIL;
    *value = values[row][col];
    return S_OK;
}

HRESULT EnvelopePointStore::SetPointType(int32_t row, int32_t code, int32_t accessMode) {
    if (!Acts(accessMode))
        return S_OK;
    if (row >= maxPoints || row < 0 || pointTypes == nullptr)
        return E_FAIL;
    pointTypes[row] = code;
    return S_OK;
}

HRESULT EnvelopePointStore::GetPointType(int32_t row, int32_t* code, int32_t accessMode) {
    if (!Acts(accessMode))
        return S_FALSE;
    if (row >= maxPoints || row < 0 || pointTypes == nullptr)
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
    if (colNames == nullptr || colTypes == nullptr)
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
            destRows[i][j] = values[i][j];
    }
    return S_OK;
}

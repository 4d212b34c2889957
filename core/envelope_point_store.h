// The table of envelope points. Every stage of a calculation appends the
// points it finds here, and the results output reads them back. A row holds
// five property values, addressed by property code (2 pressure kPa,
// 3 temperature K, 4 enthalpy, 5 entropy, 6 molar volume), and an integer
// point type (EnvelopePointType).
//
// Accessors return S_OK, S_FALSE or E_FAIL and never raise. Every accessor
// except Init, Free and CopyValues takes an access mode: only 0 and 3 act;
// any other mode makes the call a no-op (see each accessor for its status).
#pragma once

#include <cstdint>
#include <vector>

#include "platform/com.h"

// Kinds of stored point.
enum EnvelopePointType {
    kPointDew = 1,                 // first dew curve
    kPointDewAfterThreePhase = 2,  // dew side restarted past three-phase point 0
    kPointDewAfterSecond = 3,      // dew side restarted past three-phase point 1
    kPointBubble = 4,              // bubble side, after a critical point
    kPointCritical = 5,
    kPointCricondenbar = 6,  // pressure maximum
    kPointPressureMinimum = 7,
    kPointCricondentherm = 8,  // temperature maximum
    kPointTemperatureMinimum = 9,
    kPointThreePhase = 10,
    kPointThreePhaseCritical = 11,
    kPointThreePhaseCriticalOther = 12,
    kPointIncipientLiquid = 13,
    kPointThreePhaseBubble = 14,
    kPointLiquidLiquidUpper = 15,
    kPointLiquidLiquid = 16,
};

// Property codes of the store's columns.
enum EnvelopePropertyCode {
    kCodePressure = 2,     // kPa
    kCodeTemperature = 3,  // K
    kCodeEnthalpy = 4,
    kCodeEntropy = 5,
    kCodeMolarVolume = 6,
};

class EnvelopePointStore {
  public:
    static const int32_t kCapacity = 500;
    static const int32_t kColumns = 5;

    EnvelopePointStore();
    ~EnvelopePointStore();
    EnvelopePointStore(const EnvelopePointStore&) = delete;
    EnvelopePointStore& operator=(const EnvelopePointStore&) = delete;

    // Allocates 500 rows of 5 value cells (each set to -32767.0), the column
    // codes {2, 3, 4, 5, 6}, column types {1, 1, 1, 1, 1} and the point-type
    // table. The point count stays as it is (0 for a new store). S_OK.
    HRESULT Init();

    // Releases every array; safe on a store whose arrays are absent.
    void Free();

    // row >= capacity or arrays absent: E_FAIL; accessMode not 0 or 3:
    // S_FALSE and nothing stored; no column with propCode: E_FAIL.
    HRESULT SetValue(int32_t row, int32_t propCode, double value, int32_t accessMode);
    // The same checks, then *value = the cell.
    HRESULT GetValue(int32_t row, int32_t propCode, double* value, int32_t accessMode);

    // accessMode not 0 or 3: S_OK and nothing stored; row >= capacity or
    // table absent: E_FAIL.
    HRESULT SetPointType(int32_t row, int32_t code, int32_t accessMode);
    // accessMode not 0 or 3: S_FALSE; row >= capacity or table absent: E_FAIL.
    HRESULT GetPointType(int32_t row, int32_t* code, int32_t accessMode);

    // count > capacity: E_FAIL (count == capacity accepted); accessMode not
    // 0 or 3: S_FALSE.
    HRESULT SetNumPoints(int32_t count, int32_t accessMode);
    // accessMode not 0 or 3: *count = 0 and S_FALSE.
    HRESULT GetNumPoints(int32_t* count, int32_t accessMode);
    HRESULT GetNumColumns(int32_t* count, int32_t accessMode);

    // column >= column count or arrays absent: E_FAIL; accessMode not 0 or 3:
    // S_FALSE; otherwise the column's property code and type word.
    HRESULT GetColumnInfo(int32_t column, int32_t* colName, int32_t* colType, int32_t accessMode);

    // Copies cell (i, j) into destRows[i][j] for i < nRows, j < nCols. The
    // caller provides nRows rows of at least nCols doubles, with
    // nRows <= the point count and nCols <= the column count. S_OK.
    HRESULT CopyValues(double** destRows, int32_t nRows, int32_t nCols);

  private:
    static bool Acts(int32_t accessMode) { return accessMode == 0 || accessMode == 3; }
    int32_t ColumnOf(int32_t propCode) const;

    double& Cell(int32_t row, int32_t col) {
        return values[static_cast<size_t>(row) * numColumns + col];
    }

    int32_t maxPoints;
    int32_t numPoints;
    int32_t numColumns;
    // Row after row of numColumns cells; empty while the arrays are absent
    // (before Init, after Free), like the tables below.
    std::vector<double> values;
    std::vector<int32_t> colNames;
    std::vector<int32_t> colTypes;
    std::vector<int32_t> pointTypes;
};

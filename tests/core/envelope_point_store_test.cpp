// The envelope point store: layout, access modes, capacity and copying.
#include <gtest/gtest.h>

#include <vector>

#include "core/envelope_point_store.h"

namespace {

class PointStoreTest : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(store.Init(), S_OK); }

    void Append(int32_t type, double p, double t) {
        int32_t row = 0;
        store.GetNumPoints(&row, 0);
        store.SetPointType(row, type, 0);
        store.SetValue(row, kCodePressure, p, 0);
        store.SetValue(row, kCodeTemperature, t, 0);
        store.SetNumPoints(row + 1, 0);
    }

    EnvelopePointStore store;
};

TEST_F(PointStoreTest, NewStoreHasNoPointsAndFiveCodedColumns) {
    int32_t count = -1;
    EXPECT_EQ(store.GetNumPoints(&count, 0), S_OK);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(store.GetNumColumns(&count, 3), S_OK);
    EXPECT_EQ(count, 5);
    for (int32_t c = 0; c < 5; ++c) {
        int32_t code = 0;
        int32_t type = 0;
        EXPECT_EQ(store.GetColumnInfo(c, &code, &type, 0), S_OK);
        EXPECT_EQ(code, 2 + c);
        EXPECT_EQ(type, 1);
    }
    int32_t code = 0;
    int32_t type = 0;
    EXPECT_EQ(store.GetColumnInfo(5, &code, &type, 0), E_FAIL);
}

TEST_F(PointStoreTest, CellsNobodyWroteHoldTheUndefinedMarker) {
    Append(kPointThreePhaseCritical, 5000.0, 300.0);
    double h = 0.0;
    EXPECT_EQ(store.GetValue(0, kCodeEnthalpy, &h, 3), S_OK);
    EXPECT_EQ(h, -32767.0);
    EXPECT_EQ(store.GetValue(499, kCodeMolarVolume, &h, 0), S_OK);
    EXPECT_EQ(h, -32767.0);
}

TEST_F(PointStoreTest, ValuesAreAddressedByPropertyCode) {
    store.SetValue(3, kCodeEntropy, 1.5, 3);
    double v = 0.0;
    EXPECT_EQ(store.GetValue(3, kCodeEntropy, &v, 0), S_OK);
    EXPECT_EQ(v, 1.5);
    EXPECT_EQ(store.SetValue(3, 7, 9.0, 0), E_FAIL);
    EXPECT_EQ(store.SetValue(3, 1, 9.0, 0), E_FAIL);
    double row[5];
    double* rows[1] = {row};
    store.SetNumPoints(4, 0);
    double* all[4];
    std::vector<double> storage(20);
    for (int i = 0; i < 4; ++i)
        all[i] = &storage[5 * i];
    store.CopyValues(all, 4, 5);
    for (int j = 0; j < 5; ++j)
        EXPECT_NE(all[3][j], 9.0) << "a rejected code changed a cell";
    EXPECT_EQ(all[3][3], 1.5);
    (void)rows;
}

TEST_F(PointStoreTest, OtherAccessModesAreNoOpsWithTheirOwnStatuses) {
    double v = 4.0;
    int32_t n = 9;
    EXPECT_EQ(store.SetValue(0, kCodePressure, 1.0, 1), S_FALSE);
    EXPECT_EQ(store.GetValue(0, kCodePressure, &v, 1), S_FALSE);
    EXPECT_EQ(v, 4.0);
    EXPECT_EQ(store.SetPointType(0, 5, 0), S_OK);
    EXPECT_EQ(store.SetPointType(0, 8, 1), S_OK);
    int32_t type = 0;
    EXPECT_EQ(store.GetPointType(0, &type, 0), S_OK);
    EXPECT_EQ(type, 5);
    EXPECT_EQ(store.GetPointType(0, &type, 2), S_FALSE);
    EXPECT_EQ(store.SetNumPoints(3, 1), S_FALSE);
    EXPECT_EQ(store.GetNumPoints(&n, 1), S_FALSE);
    EXPECT_EQ(n, 0) << "the count getter zeroes its output";
    n = 9;
    EXPECT_EQ(store.GetNumColumns(&n, 4), S_FALSE);
    EXPECT_EQ(n, 0);
    int32_t code = 0;
    EXPECT_EQ(store.GetColumnInfo(0, &code, &type, 1), S_FALSE);
    EXPECT_EQ(store.GetNumPoints(&n, 0), S_OK);
    EXPECT_EQ(n, 0);
}

TEST_F(PointStoreTest, CapacityIsFiveHundredRowsAndLaterAppendsAreDropped) {
    EXPECT_EQ(store.SetNumPoints(500, 0), S_OK);
    EXPECT_EQ(store.SetNumPoints(501, 0), E_FAIL);
    int32_t n = 0;
    store.GetNumPoints(&n, 0);
    EXPECT_EQ(n, 500);

    EnvelopePointStore fresh;
    fresh.Init();
    for (int i = 0; i < 500; ++i) {
        int32_t row = 0;
        fresh.GetNumPoints(&row, 0);
        fresh.SetPointType(row, 1, 0);
        fresh.SetValue(row, kCodePressure, 100.0 + i, 0);
        fresh.SetNumPoints(row + 1, 0);
    }
    int32_t row = 0;
    fresh.GetNumPoints(&row, 0);
    EXPECT_EQ(fresh.SetPointType(row, 4, 0), E_FAIL);
    EXPECT_EQ(fresh.SetValue(row, kCodePressure, 1.0, 0), E_FAIL);
    EXPECT_EQ(fresh.SetNumPoints(row + 1, 0), E_FAIL);
    fresh.GetNumPoints(&row, 0);
    EXPECT_EQ(row, 500);
    double p = 0.0;
    fresh.GetValue(499, kCodePressure, &p, 0);
    EXPECT_EQ(p, 599.0);
}

TEST_F(PointStoreTest, CopyValuesCopiesRowsInStoreOrder) {
    Append(kPointDew, 202.65, 250.0);
    Append(kPointCritical, 9000.0, 210.0);
    std::vector<double> storage(10);
    double* rows[2] = {&storage[0], &storage[5]};
    EXPECT_EQ(store.CopyValues(rows, 2, 5), S_OK);
    EXPECT_EQ(rows[0][0], 202.65);
    EXPECT_EQ(rows[0][1], 250.0);
    EXPECT_EQ(rows[1][0], 9000.0);
    EXPECT_EQ(rows[1][2], -32767.0);
}

TEST(PointStoreLifecycle, AStoreWithoutArraysFailsEveryCellAccessAndFreesSafely) {
    EnvelopePointStore store;
    double v = 0.0;
    int32_t t = 0;
    EXPECT_EQ(store.SetValue(0, kCodePressure, 1.0, 0), E_FAIL);
    EXPECT_EQ(store.GetPointType(0, &t, 0), E_FAIL);
    store.Free();
    store.Init();
    store.Free();
    store.Free();
    EXPECT_EQ(store.GetValue(0, kCodePressure, &v, 0), E_FAIL);
}

}  // namespace

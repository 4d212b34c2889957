// Step control shared by the two continuations: the predictor guard near a
// zero of the specification variable, with a straight-line predictor
// X(s) = x0 + s so that every expected step can be worked out by hand.
#include <gtest/gtest.h>

#include "engine/step_control.h"

namespace {

struct Line {
    double x0;
    void operator()(double* out, double s) const { out[0] = x0 + s; }
};

double Guard(double x0, double step, bool specIsLnK) {
    double X[1] = {0.0};
    PredictAwayFromZero(Line{x0}, X, 0, specIsLnK, &step);
    EXPECT_DOUBLE_EQ(X[0], x0 + step) << "X is predicted with the step returned";
    return step;
}

TEST(PredictAwayFromZero, SmallStepsNearZeroGrowUntilThePredictionLeavesTheBand) {
    // 0.004 from zero, step -0.01: -0.006 is inside the 0.01 band; 1.5 times
    // the step, -0.015, ends at -0.011.
    EXPECT_DOUBLE_EQ(Guard(0.004, -0.01, false), -0.015);
    // Any prediction outside the band is kept.
    EXPECT_DOUBLE_EQ(Guard(0.5, -0.3, false), -0.3);
    // Steps above 0.025 are halved again after growing: 0.02 grows to 0.03,
    // is halved to 0.015 (ending at 0.005, still inside) and grows to 0.0225.
    EXPECT_DOUBLE_EQ(Guard(-0.01, 0.02, false), 0.0225);
}

TEST(PredictAwayFromZero, ALnKHeadingForZeroIsCarriedPastTheWiderBand) {
    // From -0.12 a step of 0.18 would end at 0.06: stretched to end at 0.1.
    EXPECT_DOUBLE_EQ(Guard(-0.12, 0.18, true), 0.22);
    // From 0.3 a step of -0.25 would end at 0.05: stretched to end at -0.1.
    EXPECT_DOUBLE_EQ(Guard(0.3, -0.25, true), -0.4);
    // The same step in a variable that is no ln K is left alone.
    EXPECT_DOUBLE_EQ(Guard(-0.12, 0.18, false), 0.18);
    // A step moving away from zero is left alone, even inside the band.
    EXPECT_DOUBLE_EQ(Guard(0.05, 0.02, true), 0.02);
    // Ending beyond the band already: nothing to do.
    EXPECT_DOUBLE_EQ(Guard(-0.3, 0.5, true), 0.5);
}

TEST(StepControl, StallCountAndIterationAdaptation) {
    int count = 0;
    EXPECT_FALSE(StepStalled(0.001, 0.005, 2, &count));
    EXPECT_FALSE(StepStalled(0.001, 0.005, 2, &count));
    EXPECT_TRUE(StepStalled(-0.004, 0.005, 2, &count)) << "a third small step in a row";
    EXPECT_FALSE(StepStalled(0.01, 0.005, 2, &count));
    EXPECT_EQ(count, 0);

    double step = 0.1;
    AdaptStepToIterations(1, &step);
    EXPECT_DOUBLE_EQ(step, 0.2);
    AdaptStepToIterations(2, &step);
    EXPECT_DOUBLE_EQ(step, 0.30000000000000004);
    AdaptStepToIterations(4, &step);
    EXPECT_DOUBLE_EQ(step, 0.30000000000000004);
    AdaptStepToIterations(5, &step);
    EXPECT_DOUBLE_EQ(step, 0.15000000000000002);
    step = -1.7;
    ClampStep(1.0, &step);
    EXPECT_EQ(step, -1.0);
}

}  // namespace

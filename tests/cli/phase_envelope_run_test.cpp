// End-to-end runs of the phase-envelope program: exit codes, error lines and
// the JSON of its flashes.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <string>

#include "tests/cli/run_program.h"

namespace {

using nlohmann::json;

using cli_test::RunProgram;
using cli_test::RunResult;

json Flash(const std::string& args) {
    const RunResult r = RunProgram("flash " + args + " --format json");
    EXPECT_EQ(r.status, 0) << r.err;
    return json::parse(r.out);
}

TEST(PhaseEnvelopeRun, PurePropaneIsVapourBelowAndLiquidAboveItsVapourPressure) {
    const json low = Flash("--feed \"propane=1\" --T 300 --P 900");
    ASSERT_EQ(low["phases"].size(), 1u);
    EXPECT_EQ(low["phases"][0]["type"], "vapour");
    EXPECT_EQ(low["T_K"], 300.0);
    EXPECT_EQ(low["P_kPa"], 900.0);
    EXPECT_NEAR(low["phases"][0]["composition"]["propane"].get<double>(), 1.0, 1e-12);
    for (const char* key : {"fraction", "Z", "V", "H", "S"}) {
        EXPECT_TRUE(low["phases"][0][key].is_number()) << key;
    }
    const json high = Flash("--feed \"propane=1\" --T 300 --P 1100");
    ASSERT_EQ(high["phases"].size(), 1u);
    EXPECT_EQ(high["phases"][0]["type"], "liquid");
    EXPECT_LT(high["phases"][0]["Z"].get<double>(), 0.1);
}

TEST(PhaseEnvelopeRun, PropaneWaterHasItsThreeRegionsAt300K) {
    const std::string feed = "--feed \"propane=0.5,water=0.5\"";
    const json va = Flash(feed + " --T 300 --P 950");
    ASSERT_EQ(va["phases"].size(), 2u);
    EXPECT_EQ(va["phases"][0]["type"], "vapour");
    EXPECT_EQ(va["phases"][1]["type"], "liquid");
    EXPECT_GT(va["phases"][1]["composition"]["water"].get<double>(), 0.99);

    const json ll = Flash(feed + " --T 300 --P 1050");
    ASSERT_EQ(ll["phases"].size(), 2u);
    EXPECT_EQ(ll["phases"][0]["type"], "liquid");
    EXPECT_EQ(ll["phases"][1]["type"], "liquid");
    EXPECT_GT(ll["phases"][0]["composition"]["propane"].get<double>(), 0.99);
    EXPECT_GT(ll["phases"][1]["composition"]["water"].get<double>(), 0.99);

    const json bubble = Flash(feed + " --P 1000 --vf 0");
    EXPECT_NEAR(bubble["T_K"].get<double>(), 300.0, 1.0);
    ASSERT_EQ(bubble["phases"].size(), 3u);
    EXPECT_EQ(bubble["phases"][0]["type"], "vapour");
    EXPECT_NEAR(bubble["phases"][0]["fraction"].get<double>(), 0.0, 1e-9);
    EXPECT_GT(bubble["phases"][1]["composition"]["propane"].get<double>(), 0.99);
    EXPECT_GT(bubble["phases"][2]["composition"]["water"].get<double>(), 0.99);
}

// An ethane product with 5 ppm of ethylene: the host answers its dew point as
// ethane's (the band is a few thousandths of a kelvin wide), with both phases
// of the feed's composition, and that is a saturation point, not a pressure
// without one. Ethane boils at 231.5 K under 737 kPa (NIST webbook).
TEST(PhaseEnvelopeRun, AHighPurityProductHasADewPoint) {
    const json dew = Flash("--feed \"ethane=0.999995,ethylene=0.000005\" --P 737.236 --vf 1");
    EXPECT_NEAR(dew["T_K"].get<double>(), 231.5, 0.5);
    ASSERT_EQ(dew["phases"].size(), 2u);
    EXPECT_GT(dew["phases"][0]["V"].get<double>(), 10.0 * dew["phases"][1]["V"].get<double>());
}

TEST(PhaseEnvelopeRun, BadInputExitsWithTwoAndOneLineNamingIt) {
    const struct {
        const char* args;
        const char* mention;
    } cases[] = {
        {"flash --feed \"kryptonite=1\" --T 300 --P 900", "kryptonite"},
        {"flash --feed \"propane=-1,water=2\" --T 300 --P 900", "negative"},
        {"flash --feed \"propane=nan\" --T 300 --P 900", "NaN"},
        {"flash --feed \"propane=0,water=0\" --T 300 --P 900", "zero"},
        {"flash --feed \"propane=0.5,C3=0.5\" --T 300 --P 900", "more than once"},
        {"flash --feed \"propane=1\" --P 900", "--vf"},
        {"flash --feed \"propane=1\" --T 300 --P 900 --eos VDW", "VDW"},
        {"flash --fluid /nonexistent/fluid.json --T 300 --P 900", "cannot be read"},
        {"critical", "--feed"},
        {"nosuchcommand", "nosuchcommand"},
    };
    for (const auto& c : cases) {
        const RunResult r = RunProgram(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.mention), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << ": " << r.err;
    }
}

TEST(PhaseEnvelopeRun, HelpOnEveryCommandAndTheCompoundTable) {
    for (const char* command : {"", "envelope", "module", "compounds", "flash", "critical"}) {
        const RunResult r = RunProgram(std::string(command) + " --help");
        EXPECT_EQ(r.status, 0) << command;
        EXPECT_NE(r.out.find("--help"), std::string::npos) << command;
    }
    const RunResult module = RunProgram("module");
    EXPECT_EQ(module.status, 0) << module.err;
    EXPECT_NE(module.out.find("Utility class"), std::string::npos);
    EXPECT_NE(module.out.find("TypeOfDataPoint"), std::string::npos);

    const RunResult table = RunProgram("compounds");
    EXPECT_EQ(table.status, 0);
    EXPECT_NE(table.out.find("methane"), std::string::npos);
    EXPECT_NE(table.out.find("C1"), std::string::npos);
}

TEST(PhaseEnvelopeRun, CriticalPointOfABinaryLiesBetweenItsCompounds) {
    const RunResult r = RunProgram("critical --feed \"methane=0.5,ethane=0.5\" --format json");
    ASSERT_EQ(r.status, 0) << r.err;
    const json out = json::parse(r.out);
    ASSERT_EQ(out.size(), 1u) << out;
    EXPECT_TRUE(out[0]["on_envelope"].get<bool>());
    EXPECT_GT(out[0]["T_K"].get<double>(), 190.6);
    EXPECT_LT(out[0]["T_K"].get<double>(), 305.3);
    EXPECT_GT(out[0]["P_kPa"].get<double>(), 4600.0);
}

TEST(PhaseEnvelopeRun, CriticalCommandListsEveryRootAndSaysWhichIsOnTheEnvelope) {
    // Methane with n-octane and a little nitrogen: the critical conditions
    // hold on the envelope near 306 K and 34 MPa, and again inside a
    // two-phase region at a lower temperature.
    const RunResult r = RunProgram(
        "critical --feed \"methane=0.8756,n-octane=0.1204,nitrogen=0.0039\" --format json");
    ASSERT_EQ(r.status, 0) << r.err;
    const json out = json::parse(r.out);
    ASSERT_GE(out.size(), 2u) << out;
    int onEnvelope = 0;
    for (const json& root : out)
        onEnvelope += root["on_envelope"].get<bool>() ? 1 : 0;
    EXPECT_EQ(onEnvelope, 1) << out;
    EXPECT_TRUE(out[0]["on_envelope"].get<bool>()) << "the root on the envelope comes first";
    EXPECT_NEAR(out[0]["T_K"].get<double>(), 306.3, 1.0);
    EXPECT_NEAR(out[0]["P_kPa"].get<double>(), 33700.0, 300.0);
}

}  // namespace

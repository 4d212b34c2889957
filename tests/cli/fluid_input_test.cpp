// The command line's fluid input: feeds, fluid files and their errors.
#include "cli/fluid_input.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using cli::InputError;
namespace thermo = pyrana::thermo;

// The message of the InputError `f` throws ("" when it throws none).
template <class F>
std::string ErrorOf(F f) {
    try {
        f();
    } catch (const InputError& e) {
        return e.what();
    }
    return "";
}

TEST(FluidInput, FeedTakesNamesAndAliasesAndKeepsFractionsAsGiven) {
    const cli::FluidInput in = cli::ParseFeed(" methane=0.8, C2=0.15 ,water=0.05");
    ASSERT_EQ(in.definition.components.size(), 3u);
    EXPECT_EQ(in.feed, (std::vector<double>{0.8, 0.15, 0.05}));
    const thermo::Fluid fluid = cli::BuildFluid(in);
    EXPECT_EQ(fluid.compound(1).name, "ethane");
    EXPECT_EQ(fluid.compound(2).id, 19);
}

TEST(FluidInput, FeedErrorsNameTheProblem) {
    EXPECT_NE(ErrorOf([] { cli::ParseFeed("unobtainium=1"); }).find("'unobtainium'"),
              std::string::npos);
    EXPECT_NE(ErrorOf([] { cli::ParseFeed("methane=-0.1,ethane=1"); }).find("negative"),
              std::string::npos);
    EXPECT_NE(ErrorOf([] { cli::ParseFeed("methane=nan"); }).find("NaN"), std::string::npos);
    EXPECT_NE(ErrorOf([] { cli::ParseFeed("methane=0,ethane=0"); }).find("all zero"),
              std::string::npos);
    EXPECT_NE(ErrorOf([] { cli::ParseFeed("methane=0.5,CH4=0.5"); }).find("more than once"),
              std::string::npos);
    EXPECT_NE(ErrorOf([] { cli::ParseFeed("methane"); }).find("name=fraction"), std::string::npos);
    EXPECT_NE(ErrorOf([] { cli::ParseFeed("methane=0.5x"); }).find("not a number"),
              std::string::npos);
}

TEST(FluidInput, FileWithUserCompoundOverridesAndKij) {
    const cli::FluidInput in = cli::ParseFluidJson(R"({
        "eos": "SRK",
        "components": [
            {"name": "methane", "z": 0.7},
            {"name": "propane", "z": 0.2, "Tc": 370.0, "Pc": 4300.0},
            {"name": "C7+", "z": 0.1, "Tc": 540.0, "Pc": 2700.0, "omega": 0.35, "mw": 100.2}
        ],
        "kij": [{"i": "methane", "j": "C7+", "value": 0.03}],
        "volume_shift": true
    })");
    const thermo::Fluid fluid = cli::BuildFluid(in);
    EXPECT_EQ(fluid.eos(), thermo::EosKind::SRK);
    EXPECT_TRUE(fluid.volumeTranslation());
    // A database compound with its own constants keeps its identity and Cp.
    const thermo::Compound* propane = thermo::FindCompound("propane");
    EXPECT_EQ(fluid.compound(1).tc, 370.0);
    EXPECT_EQ(fluid.compound(1).pc, 4300.0);
    EXPECT_EQ(fluid.compound(1).omega, propane->omega);
    EXPECT_EQ(fluid.compound(1).id, propane->id);
    EXPECT_EQ(fluid.compound(1).family, propane->family);
    EXPECT_EQ(fluid.compound(1).cp.a[0], propane->cp.a[0]);
    EXPECT_EQ(fluid.compound(2).molarMass, 100.2);
    EXPECT_DOUBLE_EQ(fluid.kij(0, 2), 0.03);
    EXPECT_DOUBLE_EQ(fluid.kij(2, 0), 0.03);
}

TEST(FluidInput, FileErrorsNameTheProblem) {
    const auto file = [](const std::string& components, const std::string& rest = "") {
        return [=] {
            cli::BuildFluid(
                cli::ParseFluidJson(R"({"components": [)" + components + "]" + rest + "}"));
        };
    };
    EXPECT_NE(ErrorOf(file(R"({"name": "X7", "z": 1, "Tc": 500, "Pc": 3000, "omega": 0.3})"))
                  .find("needs mw"),
              std::string::npos);
    EXPECT_NE(ErrorOf(file(R"({"name": "X7", "z": 1, "Tc": -5, "Pc": 3000, "omega": 0.3,
                               "mw": 90})"))
                  .find("Tc = -5 K must be positive"),
              std::string::npos);
    EXPECT_NE(ErrorOf(file(R"({"name": "nowhere", "z": 1})")).find("not in the compound database"),
              std::string::npos);
    EXPECT_NE(ErrorOf(file(R"({"name": "methane", "z": 1}, {"name": "C1", "z": 1})"))
                  .find("more than once"),
              std::string::npos);
    EXPECT_NE(ErrorOf(file(R"({"name": "methane", "z": 1, "Z": 2})")).find("unknown key 'Z'"),
              std::string::npos);
    EXPECT_NE(ErrorOf(file(R"({"name": "methane", "z": 0})")).find("all zero"), std::string::npos);
    EXPECT_NE(ErrorOf(file(R"({"name": "methane", "z": 1})",
                           R"(, "kij": [{"i": "methane", "j": "ethane", "value": 0.1}])"))
                  .find("'ethane' is not a component"),
              std::string::npos);
    EXPECT_NE(ErrorOf([] { cli::ParseFluidJson("{\"components\": ["); }).find("not valid JSON"),
              std::string::npos);
    EXPECT_NE(
        ErrorOf([] { cli::ParseFluidJson(R"({"eos": "VdW", "components": []})"); }).find("VdW"),
        std::string::npos);
    EXPECT_NE(ErrorOf([] { cli::LoadFluidFile("/nonexistent/fluid.json"); }).find("cannot be read"),
              std::string::npos);
}

TEST(FluidInput, EosNamesAreCaseInsensitive) {
    EXPECT_EQ(cli::ParseEos("srk"), thermo::EosKind::SRK);
    EXPECT_EQ(cli::ParseEos("PR"), thermo::EosKind::PR);
    EXPECT_THROW(cli::ParseEos("PR78"), InputError);
}

}  // namespace

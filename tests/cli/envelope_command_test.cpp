// End-to-end runs of `phase-envelope envelope`, the program's default
// command: the default fluid's two- and three-phase envelope, the JSON and
// CSV outputs against each other and against the host's own saturation
// flash, the curves against the results matrix, the application-side path
// against the host path, and the exit statuses.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "pyrana/thermo/compound.h"
#include "tests/cli/run_program.h"
#include "tests/support/natural_gas.h"

namespace {

using cli_test::RunProgram;
using cli_test::RunResult;
// Keeps the keys in the order the program wrote them.
using json = nlohmann::ordered_json;

const std::string kNaturalGas = "--feed \"" + test_fluids::NaturalGasFeedText() + "\"";

// Each distinct command line runs once per test program. A fault plan in the
// environment is read only by the tests' copy of the program.
const RunResult& Cached(const std::string& args, const std::string& environment = "") {
    static std::map<std::string, RunResult> runs;
    const std::string key = environment + "|" + args;
    auto found = runs.find(key);
    if (found == runs.end()) {
        const bool faults = environment.find("PHASE_ENVELOPE_FAIL_HOST_CALL") != std::string::npos;
        found = runs.emplace(key, RunProgram(args, environment,
                                             faults ? PE_CLI_FAULTS_PATH : PE_CLI_PATH))
                    .first;
    }
    return found->second;
}

json RunJson(const std::string& args) {
    const RunResult& r = Cached(args + " --format json");
    EXPECT_EQ(r.status, 0) << args << ": " << r.err;
    EXPECT_EQ(r.err, "") << args;
    return json::parse(r.out);
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> fields;
    std::istringstream in(line);
    for (std::string field; std::getline(in, field, ',');) {
        fields.push_back(field);
    }
    if (!line.empty() && line.back() == ',')
        fields.push_back("");
    return fields;
}

int CountType(const json& points, int type) {
    int n = 0;
    for (const json& p : points)
        n += p["type"].get<int>() == type ? 1 : 0;
    return n;
}

// True when some point of `type` is stored at exactly this state.
bool HasRow(const json& points, int type, const json& state) {
    for (const json& p : points) {
        if (p["type"] == type && p["P_kPa"] == state["P_kPa"] && p["T_K"] == state["T_K"]) {
            return true;
        }
    }
    return false;
}

TEST(EnvelopeCommand, DefaultRunShowsTheTwoAndThreePhaseParts) {
    const RunResult& bare = Cached("");
    ASSERT_EQ(bare.status, 0) << bare.err;
    EXPECT_EQ(bare.err, "") << "nothing outlives the calculation, nothing fails";
    for (const char* text : {"Phase envelope of the default fluid", "Peng-Robinson", "host objects",
                             "water 0.0100", "Critical point ", "Cricondenbar ",
                             "Cricondentherm         T =", "Three-phase points     T =",
                             "Three-phase critical   T =", "  dew\n", "  three-phase point\n",
                             "  liquid-liquid boundary\n", "Execute                0x00000000"}) {
        EXPECT_NE(bare.out.find(text), std::string::npos) << text << "\n" << bare.out;
    }
    // `envelope` with no options is the same run; only the timing differs.
    const auto withoutTiming = [](const std::string& out) {
        std::string kept;
        for (const std::string& line : Lines(out)) {
            if (line.rfind("Execute", 0) != 0)
                kept += line + "\n";
        }
        return kept;
    };
    EXPECT_EQ(withoutTiming(bare.out), withoutTiming(Cached("envelope").out));

    // The wet gas takes the three-phase path: the hydrocarbon dew curve up
    // to its cricondentherm, the water dew curve meeting it at a three-phase
    // point, the liquid-liquid boundary below that point, and the boundaries
    // above it meeting at a critical end point.
    const json j = RunJson("");
    const json& points = j["points"];
    EXPECT_GT(CountType(points, 1), 5);
    EXPECT_GT(CountType(points, 2), 2);
    EXPECT_GT(CountType(points, 16), 2);
    EXPECT_GT(CountType(points, 14), 5);
    EXPECT_GT(CountType(points, 15), 5);
    EXPECT_EQ(j["three_phase_critical"].size(), 1u);
    ASSERT_FALSE(j["three_phase_points"].empty());
    ASSERT_FALSE(j["cricondentherm"].is_null());
    for (const json& point : j["three_phase_points"]) {
        EXPECT_TRUE(HasRow(points, 10, point)) << point;
        EXPECT_LT(point["T_K"].get<double>(), j["cricondentherm"]["T_K"].get<double>());
    }
    // The table lists every stored point, numbered, and the summary counts them.
    EXPECT_NE(bare.out.find(std::to_string(points.size()) + " stored"), std::string::npos);
    const std::vector<std::string> lines = Lines(bare.out);
    size_t header = 0;
    while (header < lines.size() && lines[header].rfind("   #  kind", 0) != 0)
        ++header;
    ASSERT_EQ(lines.size() - header - 1, points.size());
    EXPECT_NE(lines.back().find(" " + std::to_string(points.size()) + "  "), std::string::npos);
}

TEST(EnvelopeCommand, JsonAndCsvHoldThePointsInStoreOrder) {
    const json j = RunJson("");
    const std::vector<std::string> keys = {"status",
                                           "incomplete",
                                           "eos",
                                           "fluid",
                                           "points",
                                           "critical",
                                           "cricondenbar",
                                           "cricondentherm",
                                           "three_phase_points",
                                           "three_phase_critical",
                                           "elapsed_ms"};
    std::vector<std::string> got;
    for (auto it = j.begin(); it != j.end(); ++it)
        got.push_back(it.key());
    EXPECT_EQ(got, keys);
    EXPECT_EQ(j["status"], "0x00000000");
    EXPECT_TRUE(j["incomplete"].empty()) << j["incomplete"];
    EXPECT_EQ(j["eos"], "PR");
    EXPECT_GT(j["elapsed_ms"].get<double>(), 0.0);
    double sum = 0;
    for (const auto& c : j["fluid"].items())
        sum += c.value().get<double>();
    EXPECT_NEAR(sum, 1.0, 1e-12);
    EXPECT_TRUE(j["fluid"].contains("water"));

    const json& points = j["points"];
    ASSERT_GT(points.size(), 20u);
    // The first dew scan is the first stage of every calculation.
    EXPECT_EQ(points[0]["type"], 1);
    for (const json& p : points) {
        ASSERT_TRUE(p["type"].is_number_integer()) << p;
        EXPECT_GE(p["type"].get<int>(), 1);
        EXPECT_LE(p["type"].get<int>(), 16);
        EXPECT_TRUE(p["kind"].is_string());
        EXPECT_GT(p["P_kPa"].get<double>(), 0.0) << p;
        EXPECT_GT(p["T_K"].get<double>(), 0.0) << p;
        for (const char* key : {"H", "S", "V"}) {
            EXPECT_TRUE(p[key].is_null() || p[key].is_number()) << p;
        }
    }
    // The special points are the states of the rows they come from.
    const struct {
        const char* key;
        int type;
    } specials[] = {{"critical", 5}, {"cricondenbar", 6}, {"cricondentherm", 8}};
    for (const auto& s : specials) {
        EXPECT_EQ(j[s.key].is_null(), CountType(points, s.type) == 0) << s.key;
        if (!j[s.key].is_null()) {
            EXPECT_TRUE(HasRow(points, s.type, j[s.key])) << s.key;
        }
    }

    const RunResult& csv = Cached("--format csv");
    ASSERT_EQ(csv.status, 0) << csv.err;
    const std::vector<std::string> lines = Lines(csv.out);
    ASSERT_EQ(lines.size(), points.size() + 1);
    EXPECT_EQ(lines[0], "type,kind,P_kPa,T_K,H,S,V");
    for (size_t i = 0; i < points.size(); ++i) {
        const std::vector<std::string> f = Fields(lines[i + 1]);
        ASSERT_EQ(f.size(), 7u) << lines[i + 1];
        EXPECT_EQ(std::stoi(f[0]), points[i]["type"].get<int>()) << "row " << i;
        EXPECT_EQ(f[1], points[i]["kind"].get<std::string>());
        EXPECT_NEAR(std::stod(f[2]), points[i]["P_kPa"].get<double>(),
                    1e-8 * points[i]["P_kPa"].get<double>());
        EXPECT_NEAR(std::stod(f[3]), points[i]["T_K"].get<double>(), 1e-7);
        EXPECT_EQ(f[4].empty(), points[i]["H"].is_null());
    }
}

// The printed columns are the states they claim: low-pressure dew rows of
// the dry gas are dew points of the host's own saturation flash, run through
// the program's flash command.
TEST(EnvelopeCommand, DryGasRowsAreDewPointsOfTheHostsFlash) {
    const json j = RunJson(kNaturalGas);
    const json& points = j["points"];
    EXPECT_TRUE(j["three_phase_points"].empty());
    EXPECT_TRUE(j["three_phase_critical"].empty());
    ASSERT_FALSE(j["critical"].is_null());
    ASSERT_FALSE(j["cricondenbar"].is_null());
    ASSERT_FALSE(j["cricondentherm"].is_null());
    double maxP = 0;
    double maxT = 0;
    for (const json& p : points) {
        maxP = std::max(maxP, p["P_kPa"].get<double>());
        maxT = std::max(maxT, p["T_K"].get<double>());
        // The host path recomputes H, S and V of every stored row.
        for (const char* key : {"H", "S", "V"})
            EXPECT_TRUE(p[key].is_number()) << p;
    }
    EXPECT_NEAR(j["cricondenbar"]["P_kPa"].get<double>(), maxP, 5e-4 * maxP);
    EXPECT_NEAR(j["cricondentherm"]["T_K"].get<double>(), maxT, 5e-4 * maxT);

    const double criticalP = j["critical"]["P_kPa"].get<double>();
    int checked = 0;
    for (const json& p : points) {
        const double pk = p["P_kPa"].get<double>();
        if (p["type"] != 1 || pk > 0.4 * criticalP || pk < 200 || checked == 3)
            continue;
        char args[96];
        std::snprintf(args, sizeof(args), " --P %.10g --vf 1 --format json", pk);
        const RunResult& flash = Cached(std::string("flash ") + kNaturalGas + args);
        ASSERT_EQ(flash.status, 0) << flash.err;
        EXPECT_NEAR(json::parse(flash.out)["T_K"].get<double>(), p["T_K"].get<double>(), 0.05)
            << "dew row at " << pk << " kPa";
        ++checked;
    }
    EXPECT_EQ(checked, 3);
}

TEST(EnvelopeCommand, CurvesCarryTheStatesOfTheResultsMatrix) {
    const json matrix = RunJson(kNaturalGas);
    const json ph = RunJson(std::string(kNaturalGas) + " --curves --axes PH");
    EXPECT_EQ(ph["axes"], "PH");
    ASSERT_EQ(ph["points"].size(), matrix["points"].size());
    for (size_t i = 0; i < ph["points"].size(); ++i) {
        const json& c = ph["points"][i];
        const json& m = matrix["points"][i];
        ASSERT_EQ(c.size(), 2u) << c;
        EXPECT_EQ(c["P_kPa"], m["P_kPa"]) << "point " << i;
        EXPECT_EQ(c["H"], m["H"]) << "point " << i;
    }

    const RunResult& table = Cached(std::string(kNaturalGas) + " --curves --axes PH");
    ASSERT_EQ(table.status, 0) << table.err;
    const std::vector<std::string> tableLines = Lines(table.out);
    ASSERT_EQ(tableLines.size(), matrix["points"].size() + 1);
    EXPECT_NE(tableLines[0].find("P kPa"), std::string::npos);
    EXPECT_NE(tableLines[0].find("H kJ/kmol"), std::string::npos);

    const struct {
        const char* axes;
        const char* header;
        const char* x;
        const char* y;
    } cases[] = {{"", "P_kPa,T_K", "P_kPa", "T_K"},
                 {" --axes TV", "T_K,V", "T_K", "V"},
                 {" --axes PS", "P_kPa,S", "P_kPa", "S"}};
    for (const auto& c : cases) {
        const RunResult& csv = Cached(std::string(kNaturalGas) + " --curves --format csv" + c.axes);
        ASSERT_EQ(csv.status, 0) << csv.err;
        const std::vector<std::string> lines = Lines(csv.out);
        ASSERT_EQ(lines.size(), matrix["points"].size() + 1) << c.axes;
        EXPECT_EQ(lines[0], c.header);
        // Spot-check the columns against the matrix's states.
        for (size_t i : {size_t{0}, lines.size() / 2 - 1, lines.size() - 2}) {
            const std::vector<std::string> f = Fields(lines[i + 1]);
            ASSERT_EQ(f.size(), 2u);
            const json& m = matrix["points"][i];
            EXPECT_NEAR(std::stod(f[0]), m[c.x].get<double>(),
                        1e-8 * std::fabs(m[c.x].get<double>()));
            EXPECT_NEAR(std::stod(f[1]), m[c.y].get<double>(),
                        1e-8 * std::fabs(m[c.y].get<double>()));
        }
    }
}

TEST(EnvelopeCommand, ApplicationProviderTracesTheSameEnvelope) {
    for (const std::string& fluid : {std::string(""), std::string(kNaturalGas)}) {
        const json host = RunJson(fluid);
        const json app = RunJson(fluid + " --provider app");
        // The same stages in the same order.
        const auto stages = [](const json& points) {
            std::vector<int> types;
            for (const json& p : points) {
                if (types.empty() || types.back() != p["type"].get<int>())
                    types.push_back(p["type"].get<int>());
            }
            return types;
        };
        EXPECT_EQ(stages(app["points"]), stages(host["points"])) << fluid;
        // Row by row up to the critical point, or through the first stage;
        // after it the two paths may step differently along the same curves
        // (a corrector's iteration count at its threshold is round-off's).
        size_t same = 0;
        while (same < host["points"].size() &&
               host["points"][same]["type"] == host["points"][0]["type"])
            ++same;
        for (size_t i = 0; i < host["points"].size(); ++i) {
            if (host["points"][i]["type"] == 5) {
                same = i + 2;
                break;
            }
        }
        ASSERT_GE(app["points"].size(), same) << fluid;
        for (size_t i = 0; i < same && i < host["points"].size(); ++i) {
            const json& a = app["points"][i];
            const json& h = host["points"][i];
            EXPECT_EQ(a["type"], h["type"]) << fluid << " point " << i;
            EXPECT_NEAR(a["P_kPa"].get<double>(), h["P_kPa"].get<double>(),
                        2e-4 * h["P_kPa"].get<double>())
                << fluid << " point " << i;
            EXPECT_NEAR(a["T_K"].get<double>(), h["T_K"].get<double>(), 0.05)
                << fluid << " point " << i;
        }
        for (const char* special : {"critical", "cricondenbar", "cricondentherm"}) {
            ASSERT_EQ(app[special].is_null(), host[special].is_null()) << fluid << special;
            if (host[special].is_null())
                continue;
            EXPECT_NEAR(app[special]["P_kPa"].get<double>(), host[special]["P_kPa"].get<double>(),
                        2e-4 * host[special]["P_kPa"].get<double>())
                << fluid << special;
            EXPECT_NEAR(app[special]["T_K"].get<double>(), host[special]["T_K"].get<double>(), 0.05)
                << fluid << special;
        }
        ASSERT_EQ(app["three_phase_points"].size(), host["three_phase_points"].size());
        for (size_t i = 0; i < host["three_phase_points"].size(); ++i) {
            const json& a = app["three_phase_points"][i];
            const json& h = host["three_phase_points"][i];
            EXPECT_NEAR(a["P_kPa"].get<double>(), h["P_kPa"].get<double>(),
                        2e-4 * h["P_kPa"].get<double>());
            EXPECT_NEAR(a["T_K"].get<double>(), h["T_K"].get<double>(), 0.05);
        }
        // Critical end points are interpolated next to a near-singular
        // system: to 1 % and 0.5 K.
        ASSERT_EQ(app["three_phase_critical"].size(), host["three_phase_critical"].size());
        for (size_t i = 0; i < host["three_phase_critical"].size(); ++i) {
            const json& a = app["three_phase_critical"][i];
            const json& h = host["three_phase_critical"][i];
            EXPECT_NEAR(a["P_kPa"].get<double>(), h["P_kPa"].get<double>(),
                        0.01 * h["P_kPa"].get<double>());
            EXPECT_NEAR(a["T_K"].get<double>(), h["T_K"].get<double>(), 0.5);
        }
    }
    const RunResult& summary = Cached("--provider app");
    EXPECT_EQ(summary.status, 0) << summary.err;
    EXPECT_NE(summary.out.find("application-side provider"), std::string::npos);
}

// A host call failing inside Execute (the reference host's fault injection,
// through PHASE_ENVELOPE_FAIL_HOST_CALL): exit 1 with the failing HRESULT on
// one line, a JSON reader still told the status, nothing written when the
// failure came before the output, and no object left alive on any path.
TEST(EnvelopeCommand, AFailingHostCallExitsWithOneAndItsResult) {
    const std::string env = "PHASE_ENVELOPE_FAIL_HOST_CALL=";
    const RunResult& flash = Cached(kNaturalGas, env + "IFlashManager::Flash,0x8007000E");
    EXPECT_EQ(flash.status, 1);
    EXPECT_EQ(flash.out, "");
    EXPECT_EQ(flash.err,
              "phase-envelope: the envelope calculation failed (Execute returned 0x8007000E)\n");

    const RunResult& asJson = Cached(std::string(kNaturalGas) + " --format json",
                                     env + "IFlashManager::Flash,0x8007000E");
    EXPECT_EQ(asJson.status, 1);
    const json j = json::parse(asJson.out);
    EXPECT_EQ(j["status"], "0x8007000E");
    EXPECT_TRUE(j["points"].empty());
    EXPECT_TRUE(j["critical"].is_null());

    // Calls spread over a whole calculation of the dry gas: each run either
    // absorbs the failure (a failed step the engines retry) or reports it.
    const RunResult& counted = Cached(kNaturalGas);
    const size_t at = counted.out.find(" host calls");
    ASSERT_NE(at, std::string::npos);
    const long total = std::stol(counted.out.substr(counted.out.rfind(' ', at - 1) + 1));
    ASSERT_GT(total, 1000);
    int reported = 0;
    for (long k : {1L, 2L, 10L, 100L, total / 100, total / 10, total / 2, total - 1}) {
        const RunResult& r = Cached(std::string(kNaturalGas) + " --format csv",
                                    env + std::to_string(k) + ",0x80004004");
        ASSERT_TRUE(r.status == 0 || r.status == 1) << "call " << k << ": " << r.status;
        if (r.status == 1) {
            ++reported;
            EXPECT_EQ(r.err,
                      "phase-envelope: the envelope calculation failed (Execute returned "
                      "0x80004004)\n")
                << "call " << k;
        } else {
            EXPECT_EQ(r.err, "") << "call " << k;
            EXPECT_EQ(r.out.rfind("type,kind,", 0), 0u) << "call " << k;
        }
    }
    EXPECT_GT(reported, 0);

    const RunResult& app =
        Cached(std::string(kNaturalGas) + " --provider app", env + "1,0x80004004");
    EXPECT_TRUE(app.status == 0 || app.status == 1) << app.status;
    EXPECT_EQ(app.err.find("outlived"), std::string::npos) << app.err;

    for (const char* value : {"x", "5,0x1", "0", "IFlashManager::Flash,E_FAIL"}) {
        const RunResult& r = Cached("", env + "'" + value + "'");
        EXPECT_EQ(r.status, 2) << value;
        EXPECT_NE(r.err.find("PHASE_ENVELOPE_FAIL_HOST_CALL"), std::string::npos) << value;
    }

    // The program a user runs reads no fault plan: the same failing setting
    // leaves its envelope whole.
    const RunResult shipped =
        RunProgram(kNaturalGas, env + "IFlashManager::Flash,0x8007000E", PE_CLI_PATH);
    EXPECT_EQ(shipped.status, 0) << shipped.err;
    EXPECT_EQ(shipped.err, "");
    const auto pointsLine = [](const std::string& out) {
        const size_t at = out.find("Points ");
        return at == std::string::npos ? std::string() : out.substr(at, out.find('\n', at) - at);
    };
    EXPECT_NE(pointsLine(shipped.out), "");
    EXPECT_EQ(pointsLine(shipped.out), pointsLine(Cached(kNaturalGas).out));
}

TEST(EnvelopeCommand, BadInputExitsWithTwoAndOneLineNamingIt) {
    const struct {
        const char* args;
        const char* mention;
    } cases[] = {
        {"--format xml", "xml"},
        {"envelope --format xml", "xml"},
        {"--provider other", "other"},
        {"--curves --axes XY", "XY"},
        {"--axes PH", "--curves"},
        {"--curves --plot envelope.svg", "--plot"},
        {"--feed \"kryptonite=1\"", "kryptonite"},
        {"envelope --feed \"methane=0.5,ethane=-0.5\"", "negative"},
        {"--feed \"methane=0,ethane=0\"", "zero"},
        {"--feed \"methane=nan,ethane=1\"", "NaN"},
        {"--eos VDW", "VDW"},
        {"--fluid /nonexistent/fluid.json", "cannot be read"},
        {"compounds --format csv", "csv"},
        {"--feed \"\"", "--feed is empty"},
        {"--fluid \"\"", "--fluid is empty"},
        {"--plot out.bmp", ".bmp"},
        {"--plot no/such/folder/out.png", "no/such/folder"},
        {"--feed \"methane=1e308,ethane=1e308\"", "largest number"},
    };
    for (const auto& c : cases) {
        const RunResult& r = Cached(c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_EQ(r.out, "") << c.args;
        EXPECT_NE(r.err.find(c.mention), std::string::npos) << c.args << ": " << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << c.args << ": " << r.err;
    }
}

TEST(EnvelopeCommand, PlotDrawsTheChosenPairThroughTheOptionsDialog) {
    const std::string path =
        ::testing::TempDir() + "phase_envelope_plot_" + std::to_string(getpid()) + ".svg";
    const RunResult r = RunProgram("--feed \"methane=0.5,n-decane=0.5\" --plot " + path +
                                   " --axes PH --format csv");
    ASSERT_EQ(r.status, 0) << r.err;
    std::ifstream in(path);
    const std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::remove(path.c_str());
    ASSERT_NE(svg.find("<svg"), std::string::npos);
    EXPECT_NE(svg.find("Enthalpy"), std::string::npos) << "the PH pair was drawn";
    EXPECT_NE(svg.find("methane 0.5"), std::string::npos) << "the feed is named";
    EXPECT_NE(svg.find("<path"), std::string::npos);
}

// User compounds outside physical bounds are refused before any calculation,
// naming the compound and the constant.
TEST(EnvelopeCommand, UserConstantsOutsidePhysicalBoundsAreRefused) {
    const struct {
        const char* constants;
        const char* mention;
    } cases[] = {
        {"\"Tc\": 1e308, \"Pc\": 2500, \"omega\": 0.4, \"mw\": 120", "Tc = 1e+308"},
        {"\"Tc\": 600, \"Pc\": 1e9, \"omega\": 0.4, \"mw\": 120", "Pc = 1e+09"},
        {"\"Tc\": 600, \"Pc\": 2500, \"omega\": 0.4, \"mw\": 1e6", "mw = 1e+06"},
    };
    const std::string path =
        ::testing::TempDir() + "phase_envelope_bounds_" + std::to_string(getpid()) + ".json";
    for (const auto& c : cases) {
        std::ofstream(path) << "{\"components\": [{\"name\": \"methane\", \"z\": 0.9}, "
                               "{\"name\": \"C7+\", \"z\": 0.1, "
                            << c.constants << "}]}";
        const RunResult r = RunProgram("--fluid " + path);
        EXPECT_EQ(r.status, 2) << c.constants;
        EXPECT_EQ(r.out, "") << c.constants;
        EXPECT_NE(r.err.find("C7+"), std::string::npos) << r.err;
        EXPECT_NE(r.err.find(c.mention), std::string::npos) << r.err;
    }
    std::remove(path.c_str());
}

// A picture that cannot be written is an error, not a quiet success.
TEST(EnvelopeCommand, APictureThatCannotBeWrittenFailsTheRun) {
    const std::string folder =
        ::testing::TempDir() + "phase_envelope_locked_" + std::to_string(getpid());
    std::filesystem::create_directories(folder);
    // A folder where the picture should be: cairo cannot write it.
    const std::string path = folder + "/out.png";
    std::filesystem::create_directories(path);
    const RunResult r = RunProgram("--feed \"methane=0.9,ethane=0.1\" --plot " + path);
    std::filesystem::remove_all(folder);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("could not be written"), std::string::npos) << r.err;
}

TEST(EnvelopeCommand, ASingleCompoundHasItsCriticalPointAtItsCriticalConstants) {
    const json j = RunJson("--feed \"propane=1\"");
    ASSERT_EQ(j["status"], "0x00000000");
    ASSERT_FALSE(j["critical"].is_null());
    // The database's critical temperature of propane.
    const pyrana::thermo::Compound* propane = pyrana::thermo::FindCompound("propane");
    ASSERT_NE(propane, nullptr);
    EXPECT_NEAR(j["critical"]["T_K"].get<double>(), propane->tc, 0.1);
    EXPECT_NEAR(j["critical"]["P_kPa"].get<double>(), propane->pc, 1e-3 * propane->pc);
    EXPECT_GT(j["points"].size(), 20u);
}

TEST(EnvelopeCommand, HelpNamesTheDefaultFluid) {
    const RunResult& help = Cached("envelope --help");
    EXPECT_EQ(help.status, 0);
    for (const char* text :
         {"water 0.0", "methane 0.", "n-octane", "--provider", "--curves", "--axes", "csv"}) {
        EXPECT_NE(help.out.find(text), std::string::npos) << text;
    }
    const RunResult& top = Cached("--help");
    EXPECT_NE(top.out.find("envelope"), std::string::npos);
}

}  // namespace

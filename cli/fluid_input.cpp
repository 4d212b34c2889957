// Parsing and validation of the command line's fluid input.
#include "cli/fluid_input.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace cli {

namespace thermo = pyrana::thermo;
using nlohmann::json;

namespace {

std::string Trim(const std::string& s) {
    const size_t a = s.find_first_not_of(" \t\r\n");
    if (a == std::string::npos) {
        return std::string();
    }
    const size_t b = s.find_last_not_of(" \t\r\n");
    return s.substr(a, b - a + 1);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

std::string Number(double v) {
    std::ostringstream os;
    os << v;
    return os.str();
}

// The name a component is known by: the database's canonical name, or the
// given name of a user compound (lower case, to catch duplicates).
std::string CanonicalName(const std::string& name) {
    const thermo::Compound* found = thermo::FindCompound(name);
    return found != nullptr ? found->name : Lower(name);
}

void CheckFraction(const std::string& name, double z) {
    if (std::isnan(z)) {
        throw InputError("component '" + name + "': fraction is NaN");
    }
    if (!std::isfinite(z)) {
        throw InputError("component '" + name + "': fraction " + Number(z) + " is not finite");
    }
    if (z < 0) {
        throw InputError("component '" + name + "': fraction " + Number(z) +
                         " must not be negative");
    }
}

void CheckFeed(const FluidInput& input) {
    if (input.definition.components.empty()) {
        throw InputError("the fluid has no components");
    }
    double sum = 0;
    std::set<std::string> seen;
    for (size_t i = 0; i < input.feed.size(); ++i) {
        const std::string& name = input.definition.components[i].name;
        CheckFraction(name, input.feed[i]);
        sum += input.feed[i];
        if (!seen.insert(CanonicalName(name)).second) {
            throw InputError("component '" + name + "' is given more than once");
        }
    }
    if (!(sum > 0)) {
        throw InputError("the feed fractions are all zero");
    }
    if (!std::isfinite(sum)) {
        throw InputError(
            "the feed fractions add up to more than the largest number: give them "
            "on an ordinary scale (they are normalised)");
    }
}

double Constant(const json& c, const std::string& name, const char* key) {
    const json& v = c.at(key);
    if (!v.is_number()) {
        throw InputError("component '" + name + "': " + key + " must be a number");
    }
    return v.get<double>();
}

// Checks the constants a component carries against physical bounds (wide
// enough for any real compound or petroleum fraction); `name` names it.
void CheckConstants(const std::string& name, const thermo::Compound& c) {
    if (!(c.tc > 0) || !std::isfinite(c.tc)) {
        throw InputError("component '" + name + "': Tc = " + Number(c.tc) + " K must be positive");
    }
    if (!(c.tc >= 1.0 && c.tc <= 3000.0)) {
        throw InputError("component '" + name + "': Tc = " + Number(c.tc) +
                         " K lies outside 1 to 3000 K");
    }
    if (!(c.pc > 0) || !std::isfinite(c.pc)) {
        throw InputError("component '" + name + "': Pc = " + Number(c.pc) +
                         " kPa must be positive");
    }
    if (!(c.pc >= 10.0 && c.pc <= 1e5)) {
        throw InputError("component '" + name + "': Pc = " + Number(c.pc) +
                         " kPa lies outside 10 kPa to 100 MPa");
    }
    if (!(c.molarMass > 0) || !std::isfinite(c.molarMass)) {
        throw InputError("component '" + name + "': mw = " + Number(c.molarMass) +
                         " kg/kmol must be positive");
    }
    if (!(c.molarMass >= 1.0 && c.molarMass <= 5000.0)) {
        throw InputError("component '" + name + "': mw = " + Number(c.molarMass) +
                         " kg/kmol lies outside 1 to 5000 kg/kmol");
    }
    if (!(c.omega > -1.0 && c.omega < 3.0)) {
        throw InputError("component '" + name + "': omega = " + Number(c.omega) +
                         " must lie between -1 and 3");
    }
}

thermo::ComponentSpec ComponentFromJson(const json& c) {
    static const std::set<std::string> keys = {"name", "z", "Tc", "Pc", "omega", "mw", "cp"};
    if (!c.is_object()) {
        throw InputError("fluid file: each component must be an object");
    }
    if (!c.contains("name") || !c["name"].is_string() || c["name"].get<std::string>().empty()) {
        throw InputError("fluid file: a component has no name");
    }
    const std::string name = c["name"].get<std::string>();
    for (auto it = c.begin(); it != c.end(); ++it) {
        if (keys.count(it.key()) == 0) {
            throw InputError("component '" + name + "': unknown key '" + it.key() + "'");
        }
    }
    const char* constants[] = {"Tc", "Pc", "omega", "mw"};
    int given = 0;
    for (const char* key : constants) {
        given += c.contains(key) ? 1 : 0;
    }
    thermo::ComponentSpec component;
    component.name = name;
    const thermo::Compound* found = thermo::FindCompound(name);
    if (found == nullptr) {
        if (given == 0) {
            throw InputError("component '" + name +
                             "': not in the compound database (give Tc, Pc, omega and mw "
                             "for a user compound)");
        }
        for (const char* key : constants) {
            if (!c.contains(key)) {
                throw InputError("component '" + name + "': user compound needs " + key);
            }
        }
        component.user = true;
        component.data = thermo::Compound{};
        component.data.name = name;
        component.data.family = thermo::kFamilyPseudo;
        component.data.id = 0;
    } else if (given > 0 || c.contains("cp")) {
        // A database compound with constants of its own: keeps ID, family and Cp.
        component.user = true;
        component.data = *found;
    } else {
        return component;
    }
    if (c.contains("Tc"))
        component.data.tc = Constant(c, name, "Tc");
    if (c.contains("Pc"))
        component.data.pc = Constant(c, name, "Pc");
    if (c.contains("omega"))
        component.data.omega = Constant(c, name, "omega");
    if (c.contains("mw"))
        component.data.molarMass = Constant(c, name, "mw");
    if (found != nullptr && c.contains("omega")) {
        component.data.zra = 0.0;  // re-estimated from the new acentric factor
    }
    if (c.contains("cp")) {
        const json& cp = c["cp"];
        if (!cp.is_array() || cp.empty() || cp.size() > 5) {
            throw InputError("component '" + name + "': cp must be a list of 1 to 5 numbers");
        }
        component.data.cp = thermo::IdealGasCp{{0, 0, 0, 0, 0}, 200.0, 1500.0};
        for (size_t k = 0; k < cp.size(); ++k) {
            if (!cp[k].is_number()) {
                throw InputError("component '" + name + "': cp must be a list of numbers");
            }
            component.data.cp.a[k] = cp[k].get<double>();
        }
    }
    CheckConstants(name, component.data);
    return component;
}

int IndexOfComponent(const FluidInput& input, const std::string& name) {
    const std::string wanted = CanonicalName(name);
    for (size_t i = 0; i < input.definition.components.size(); ++i) {
        if (CanonicalName(input.definition.components[i].name) == wanted) {
            return static_cast<int>(i);
        }
    }
    throw InputError("kij: '" + name + "' is not a component of the fluid");
}

void SetKijByName(FluidInput* input, const std::string& a, const std::string& b, double value) {
    const int i = IndexOfComponent(*input, a);
    const int j = IndexOfComponent(*input, b);
    if (i == j) {
        throw InputError("kij: '" + a + "' with itself");
    }
    if (!(std::fabs(value) < 1.0)) {
        throw InputError("kij " + a + "-" + b + ": value = " + Number(value) +
                         " must lie between -1 and 1");
    }
    input->definition.SetKij(i, j, value);
}

}  // namespace

void ApplyKijText(const std::string& text, FluidInput* input) {
    const std::string t = Trim(text);
    if (Lower(t) == "zero") {
        const int n = static_cast<int>(input->definition.components.size());
        for (int i = 0; i < n; ++i) {
            for (int j = i + 1; j < n; ++j)
                input->definition.SetKij(i, j, 0.0);
        }
        return;
    }
    std::stringstream in(t);
    std::string item;
    bool any = false;
    while (std::getline(in, item, ',')) {
        item = Trim(item);
        const size_t colon = item.find(':');
        const size_t eq = item.find('=');
        if (colon == std::string::npos || eq == std::string::npos || eq < colon) {
            throw InputError("--kij entry '" + item + "': expected name:name=value (or 'zero')");
        }
        const std::string value = Trim(item.substr(eq + 1));
        char* end = nullptr;
        const double v = std::strtod(value.c_str(), &end);
        if (value.empty() || end == value.c_str() || *end != '\0') {
            throw InputError("--kij entry '" + item + "': value '" + value + "' is not a number");
        }
        SetKijByName(input, Trim(item.substr(0, colon)),
                     Trim(item.substr(colon + 1, eq - colon - 1)), v);
        any = true;
    }
    if (!any) {
        throw InputError("--kij '" + text + "': expected 'zero' or name:name=value,...");
    }
}

thermo::EosKind ParseEos(const std::string& text) {
    const std::string t = Lower(Trim(text));
    if (t == "pr") {
        return thermo::EosKind::PR;
    }
    if (t == "srk") {
        return thermo::EosKind::SRK;
    }
    throw InputError("eos '" + text + "': expected PR or SRK");
}

FluidInput ParseFeed(const std::string& text) {
    FluidInput input;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ',')) {
        item = Trim(item);
        const size_t eq = item.find('=');
        if (item.empty() || eq == std::string::npos) {
            throw InputError("feed entry '" + item + "': expected name=fraction");
        }
        const std::string name = Trim(item.substr(0, eq));
        const std::string value = Trim(item.substr(eq + 1));
        if (thermo::FindCompound(name) == nullptr) {
            throw InputError("component '" + name + "': not in the compound database");
        }
        char* end = nullptr;
        const double z = std::strtod(value.c_str(), &end);
        if (value.empty() || end == value.c_str() || *end != '\0') {
            throw InputError("component '" + name + "': fraction '" + value + "' is not a number");
        }
        input.definition.Add(name);
        input.feed.push_back(z);
    }
    CheckFeed(input);
    return input;
}

FluidInput ParseFluidJson(const std::string& text) {
    json doc;
    try {
        doc = json::parse(text);
    } catch (const json::parse_error& e) {
        throw InputError(std::string("fluid file: not valid JSON (") + e.what() + ")");
    }
    if (!doc.is_object()) {
        throw InputError("fluid file: expected a JSON object");
    }
    static const std::set<std::string> keys = {"eos", "components", "kij", "volume_shift"};
    for (auto it = doc.begin(); it != doc.end(); ++it) {
        if (keys.count(it.key()) == 0) {
            throw InputError("fluid file: unknown key '" + it.key() + "'");
        }
    }
    FluidInput input;
    if (doc.contains("eos")) {
        if (!doc["eos"].is_string()) {
            throw InputError("fluid file: eos must be \"PR\" or \"SRK\"");
        }
        input.definition.eos = ParseEos(doc["eos"].get<std::string>());
    }
    if (doc.contains("volume_shift")) {
        if (!doc["volume_shift"].is_boolean()) {
            throw InputError("fluid file: volume_shift must be true or false");
        }
        input.definition.volumeTranslation = doc["volume_shift"].get<bool>();
    }
    if (!doc.contains("components") || !doc["components"].is_array() || doc["components"].empty()) {
        throw InputError("fluid file: components must be a non-empty list");
    }
    for (const json& c : doc["components"]) {
        thermo::ComponentSpec component = ComponentFromJson(c);
        if (!c.contains("z") || !c["z"].is_number()) {
            throw InputError("component '" + component.name + "': z must be a number");
        }
        input.feed.push_back(c["z"].get<double>());
        input.definition.components.push_back(std::move(component));
    }
    CheckFeed(input);
    if (doc.contains("kij")) {
        if (!doc["kij"].is_array()) {
            throw InputError("fluid file: kij must be a list");
        }
        for (const json& k : doc["kij"]) {
            if (!k.is_object() || !k.contains("i") || !k.contains("j") || !k.contains("value") ||
                !k["i"].is_string() || !k["j"].is_string() || !k["value"].is_number()) {
                throw InputError("kij: each entry needs \"i\", \"j\" (names) and \"value\"");
            }
            SetKijByName(&input, k["i"].get<std::string>(), k["j"].get<std::string>(),
                         k["value"].get<double>());
        }
    }
    return input;
}

FluidInput LoadFluidFile(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        throw InputError("fluid file '" + path + "': cannot be read");
    }
    std::stringstream text;
    text << in.rdbuf();
    return ParseFluidJson(text.str());
}

thermo::Fluid BuildFluid(const FluidInput& input) {
    CheckFeed(input);
    std::string error;
    std::optional<thermo::Fluid> fluid = thermo::Fluid::Create(input.definition, &error);
    if (!fluid) {
        throw InputError(error);
    }
    return *fluid;
}

}  // namespace cli

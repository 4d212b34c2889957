// The options dialog's two forms agree: the Windows resource compiler's
// reading of component/pyThreePhaseEnvelope.rc (DIALOG 201) gives the same
// controls, texts, IDs, positions and styles as the template registered with
// the portable dialog runtime. Skipped where no resource compiler is
// installed.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>

#include "ui/options_dialog_resource.h"

namespace {

struct RcControl {
    std::string statement;
    std::string text;
    int id;
    int x, y, cx, cy;
    unsigned long style;
};

// The controls of DIALOG 201 in windres's rc output.
std::vector<RcControl> DialogControls(const std::string& rc, std::string* header) {
    std::vector<RcControl> controls;
    const size_t begin = rc.find("\n201 DIALOG");
    if (begin == std::string::npos)
        return controls;
    const size_t end = rc.find("\nEND", begin);
    std::istringstream lines(rc.substr(begin + 1, end - begin));
    std::string line;
    const std::regex control(
        R"re(^\s*(GROUPBOX|LTEXT|PUSHBUTTON) "([^"]*)", (-?\d+), (\d+), (\d+), (\d+), (\d+), (0x[0-9a-f]+))re");
    const std::regex custom(
        R"re(^\s*CONTROL "([^"]*)", (\d+), "BUTTON", (0x[0-9a-f]+), (\d+), (\d+), (\d+), (\d+))re");
    const std::regex edit(R"(^\s*EDITTEXT (\d+), (\d+), (\d+), (\d+), (\d+), (0x[0-9a-f]+))");
    std::smatch m;
    while (std::getline(lines, line)) {
        if (std::regex_search(line, m, control)) {
            controls.push_back({m[1], m[2], std::stoi(m[3]), std::stoi(m[4]), std::stoi(m[5]),
                                std::stoi(m[6]), std::stoi(m[7]), std::stoul(m[8], nullptr, 16)});
        } else if (std::regex_search(line, m, custom)) {
            controls.push_back({"CONTROL", m[1], std::stoi(m[2]), std::stoi(m[4]), std::stoi(m[5]),
                                std::stoi(m[6]), std::stoi(m[7]), std::stoul(m[3], nullptr, 16)});
        } else if (std::regex_search(line, m, edit)) {
            controls.push_back({"EDITTEXT", "", std::stoi(m[1]), std::stoi(m[2]), std::stoi(m[3]),
                                std::stoi(m[4]), std::stoi(m[5]), std::stoul(m[6], nullptr, 16)});
        } else {
            *header += line + "\n";
        }
    }
    return controls;
}

const char* StatementOf(platform::DialogItemKind kind) {
    switch (kind) {
        case platform::DialogItemKind::kGroupBox:
            return "GROUPBOX";
        case platform::DialogItemKind::kAutoRadioButton:
            return "CONTROL";
        case platform::DialogItemKind::kPushButton:
            return "PUSHBUTTON";
        case platform::DialogItemKind::kStatic:
            return "LTEXT";
        case platform::DialogItemKind::kEdit:
            return "EDITTEXT";
    }
    return "";
}

TEST(DialogResourceTest, WindowsResourceAndPortableTemplateAgree) {
#ifndef PE_WINDRES
    GTEST_SKIP() << "no Windows resource compiler";
#else
    // The type library is only embedded: any file of that name will do.
    const std::string dir = ::testing::TempDir() + "/dialog_resource";
    std::system(("mkdir -p '" + dir + "'").c_str());
    std::ofstream(dir + "/pyThreePhaseEnvelope.tlb") << "tlb";
    const std::string out = dir + "/out.rc";
    const std::string command =
        std::string(PE_WINDRES) + " --input-format=rc --output-format=rc --include-dir=" + dir +
        " --include-dir=" PE_SOURCE_DIR "/component --include-dir=" PE_SOURCE_DIR
        " --input=" PE_SOURCE_DIR "/component/pyThreePhaseEnvelope.rc -o " +
        out + " 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    std::ifstream in(out);
    std::stringstream rc;
    rc << in.rdbuf();
    std::string header;
    const std::vector<RcControl> controls = DialogControls(rc.str(), &header);

    const platform::DialogTemplate& t = OptionsDialogTemplate();
    EXPECT_NE(header.find("0, 0, 237, 111"), std::string::npos) << header;
    EXPECT_NE(header.find("CAPTION \"Envelope Options\""), std::string::npos) << header;
    EXPECT_NE(header.find("FONT 8, \"MS Sans Serif\""), std::string::npos) << header;
    ASSERT_EQ(controls.size(), static_cast<size_t>(t.itemCount));
    for (int i = 0; i < t.itemCount; ++i) {
        const platform::DialogItemTemplate& item = t.items[i];
        const RcControl& c = controls[static_cast<size_t>(i)];
        SCOPED_TRACE("control " + std::to_string(i) + " " + c.text);
        EXPECT_EQ(c.statement, StatementOf(item.kind));
        EXPECT_EQ(c.text, item.text != nullptr ? item.text : "");
        EXPECT_EQ(c.id, item.id);
        EXPECT_EQ(c.x, item.x);
        EXPECT_EQ(c.y, item.y);
        EXPECT_EQ(c.cx, item.cx);
        EXPECT_EQ(c.cy, item.cy);
        // The resource compiler adds WS_CHILD | WS_VISIBLE to every control.
        EXPECT_EQ(c.style & ~0x50000000ul, static_cast<unsigned long>(item.style))
            << std::hex << c.style;
    }
#endif
}

}  // namespace

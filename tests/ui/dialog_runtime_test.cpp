// The portable dialog runtime: templates by module and ID, the modal loop
// and its default close, auto radio groups, item texts, the active window,
// nested dialogs, and the scripted and terminal drivers.
#include <gtest/gtest.h>

#include <sstream>

#include "platform/com.h"
#include "platform/dialog_runtime.h"

namespace {

constexpr int kTemplateId = 4711;
enum { kFirstA = 10, kSecondA = 11, kFirstB = 20, kSecondB = 21, kOk = 30, kEdit = 40 };

const platform::DialogItemTemplate kItems[] = {
    {platform::DialogItemKind::kGroupBox, -1, "Left", 0, 0, 50, 40, BS_GROUPBOX},
    {platform::DialogItemKind::kAutoRadioButton, kFirstA, "Alpha", 5, 5, 20, 10,
     BS_AUTORADIOBUTTON | WS_GROUP},
    {platform::DialogItemKind::kAutoRadioButton, kSecondA, "Beta", 5, 20, 20, 10,
     BS_AUTORADIOBUTTON},
    {platform::DialogItemKind::kAutoRadioButton, kFirstB, "Gamma", 60, 5, 20, 10,
     BS_AUTORADIOBUTTON | WS_GROUP},
    {platform::DialogItemKind::kAutoRadioButton, kSecondB, "Delta", 60, 20, 20, 10,
     BS_AUTORADIOBUTTON},
    {platform::DialogItemKind::kStatic, -1, "Value", 5, 52, 30, 8, SS_LEFT | WS_GROUP},
    {platform::DialogItemKind::kEdit, kEdit, "initial", 40, 50, 30, 12, ES_READONLY},
    {platform::DialogItemKind::kPushButton, kOk, "Done", 5, 70, 30, 12, BS_PUSHBUTTON},
};
const platform::DialogTemplate kTemplate = {"Test dialog",
                                            "MS Sans Serif",
                                            8,
                                            100,
                                            90,
                                            DS_MODALFRAME,
                                            kItems,
                                            static_cast<int>(sizeof kItems / sizeof kItems[0])};

// What the test procedure saw and how it answers.
struct Recorder {
    std::vector<std::pair<UINT, int>> messages;  // message, command ID
    bool handleClose = true;
    bool handleCancel = true;
    INT_PTR closeResult = 7;
    HWND activeDuringInit = nullptr;
};

INT_PTR CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        auto* r = reinterpret_cast<Recorder*>(lParam);
        r->activeDuringInit = GetActiveWindow();
        r->messages.push_back({msg, 0});
        return TRUE;
    }
    auto* r = reinterpret_cast<Recorder*>(GetWindowLongPtrA(hwnd, DWLP_USER));
    r->messages.push_back({msg, msg == WM_COMMAND ? LOWORD(wParam) : 0});
    if (msg == WM_CLOSE && r->handleClose) {
        EndDialog(hwnd, r->closeResult);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == IDCANCEL && r->handleCancel) {
        EndDialog(hwnd, 99);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == kOk) {
        EndDialog(hwnd, 1);
        return TRUE;
    }
    return FALSE;
}

class DialogRuntimeTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(
            platform::RegisterDialogTemplate(platform::ThisModule(), kTemplateId, kTemplate));
    }
    void TearDown() override {
        platform::UnregisterDialogTemplate(platform::ThisModule(), kTemplateId);
    }

    INT_PTR Run(Recorder* r) {
        return DialogBoxParamA(platform::ThisModule(), MAKEINTRESOURCEA(kTemplateId), nullptr, Proc,
                               reinterpret_cast<LPARAM>(r));
    }
};

TEST_F(DialogRuntimeTest, DialogsThatCannotRunAnswerMinusOneWithTheReason) {
    Recorder r;
    EXPECT_EQ(DialogBoxParamA(platform::ThisModule(), MAKEINTRESOURCEA(kTemplateId + 1), nullptr,
                              Proc, reinterpret_cast<LPARAM>(&r)),
              -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    EXPECT_EQ(
        DialogBoxParamA(platform::ThisModule(), MAKEINTRESOURCEA(kTemplateId), nullptr, nullptr, 0),
        -1);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(r.messages.empty());
    // Templates belong to their module: another module's resource 4711 is
    // a different name.
    int elsewhere = 0;
    EXPECT_EQ(
        DialogBoxParamA(reinterpret_cast<HINSTANCE>(&elsewhere), MAKEINTRESOURCEA(kTemplateId),
                        nullptr, Proc, reinterpret_cast<LPARAM>(&r)) == -1,
        true);
}

TEST_F(DialogRuntimeTest, WithoutADriverTheWindowIsClosedAtOnce) {
    platform::ScopedDialogDriver none(nullptr);
    Recorder handles;
    EXPECT_EQ(Run(&handles), 7);
    ASSERT_EQ(handles.messages.size(), 2u);
    EXPECT_EQ(handles.messages[1].first, static_cast<UINT>(WM_CLOSE));
    EXPECT_NE(handles.activeDuringInit, nullptr);
    EXPECT_EQ(GetActiveWindow(), nullptr) << "no dialog runs any more";

    // An unhandled WM_CLOSE becomes IDCANCEL, as with the default procedure.
    Recorder cancels;
    cancels.handleClose = false;
    EXPECT_EQ(Run(&cancels), 99);
    ASSERT_EQ(cancels.messages.size(), 3u);
    EXPECT_EQ(cancels.messages[2], std::make_pair(static_cast<UINT>(WM_COMMAND), IDCANCEL));

    // A procedure that refuses to end is ended with IDCANCEL.
    Recorder stubborn;
    stubborn.handleClose = false;
    stubborn.handleCancel = false;
    EXPECT_EQ(Run(&stubborn), IDCANCEL);
}

TEST_F(DialogRuntimeTest, ClickingARadioClearsOnlyItsOwnGroup) {
    std::vector<std::vector<bool>> seen;
    auto snapshot = [&](const platform::DialogSession& s) {
        seen.push_back({s.IsChecked(kFirstA), s.IsChecked(kSecondA), s.IsChecked(kFirstB),
                        s.IsChecked(kSecondB)});
    };
    platform::ScriptedDialogDriver script(
        {platform::DialogAction::Check(kFirstA), platform::DialogAction::Check(kFirstB),
         platform::DialogAction::Inspect(snapshot), platform::DialogAction::Check(kSecondA),
         platform::DialogAction::Inspect(snapshot), platform::DialogAction::Press(kOk)});
    platform::ScopedDialogDriver use(&script);
    Recorder r;
    EXPECT_EQ(Run(&r), 1);
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0], (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(seen[1], (std::vector<bool>{false, true, true, false}));
    // Every click reached the procedure as BN_CLICKED of its button.
    std::vector<int> commands;
    for (const auto& m : r.messages) {
        if (m.first == WM_COMMAND)
            commands.push_back(m.second);
    }
    EXPECT_EQ(commands, (std::vector<int>{kFirstA, kFirstB, kSecondA, kOk}));
}

// Calls made from inside a running dialog through the Win32 names.
INT_PTR CALLBACK ItemProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* out = reinterpret_cast<std::vector<std::string>*>(
        msg == WM_INITDIALOG ? lParam : GetWindowLongPtrA(hwnd, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        char text[6];
        out->push_back(std::to_string(GetDlgItemTextA(hwnd, kEdit, text, sizeof text)) + ":" +
                       text);
        SetDlgItemTextA(hwnd, kEdit, "changed");
        out->push_back(SetDlgItemTextA(hwnd, 999, "x") ? "set 999" : "no 999");
        // CheckDlgButton sets one button and leaves its group alone.
        CheckDlgButton(hwnd, kFirstA, BST_CHECKED);
        CheckDlgButton(hwnd, kSecondA, BST_CHECKED);
        out->push_back(std::to_string(IsDlgButtonChecked(hwnd, kFirstA)) +
                       std::to_string(IsDlgButtonChecked(hwnd, kSecondA)));
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == kOk) {
        char text[32];
        GetDlgItemTextA(hwnd, kEdit, text, sizeof text);
        out->push_back(text);
        EndDialog(hwnd, 5);
        return TRUE;
    }
    (void)wParam;
    return FALSE;
}

TEST_F(DialogRuntimeTest, ItemTextsAndChecksThroughTheWin32Calls) {
    std::vector<std::string> out;
    platform::ScriptedDialogDriver script({platform::DialogAction::Press(kOk)});
    platform::ScopedDialogDriver use(&script);
    EXPECT_EQ(DialogBoxParamA(platform::ThisModule(), MAKEINTRESOURCEA(kTemplateId), nullptr,
                              ItemProc, reinterpret_cast<LPARAM>(&out)),
              5);
    EXPECT_EQ(out, (std::vector<std::string>{"5:initi", "no 999", "11", "changed"}));
    // Outside a running dialog the calls find no window.
    EXPECT_FALSE(EndDialog(reinterpret_cast<HWND>(&out), 0));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
}

TEST_F(DialogRuntimeTest, ScriptStopsAtTheEndAndCountsRefusedActions) {
    platform::ScriptedDialogDriver script(
        {platform::DialogAction::Press(12345), platform::DialogAction::Check(kOk),
         platform::DialogAction::Press(kOk), platform::DialogAction::Press(kOk)});
    platform::ScopedDialogDriver use(&script);
    Recorder r;
    EXPECT_EQ(Run(&r), 1);
    EXPECT_EQ(script.RefusedActions(), 2) << "an unknown control and a push button as radio";
    EXPECT_EQ(script.DialogsRun(), 1);
    EXPECT_EQ(r.messages.back().second, kOk);
}

// A dialog opened from a dialog: the inner one is active while it runs.
INT_PTR CALLBACK OuterProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam) {
    auto* log = reinterpret_cast<std::vector<std::string>*>(
        msg == WM_INITDIALOG ? lParam : GetWindowLongPtrA(hwnd, DWLP_USER));
    if (msg == WM_INITDIALOG) {
        SetWindowLongPtrA(hwnd, DWLP_USER, lParam);
        return TRUE;
    }
    if (msg == WM_COMMAND && LOWORD(wParam) == kOk) {
        Recorder inner;
        const INT_PTR r = DialogBoxParamA(platform::ThisModule(), MAKEINTRESOURCEA(kTemplateId),
                                          hwnd, Proc, reinterpret_cast<LPARAM>(&inner));
        log->push_back("inner " + std::to_string(r));
        log->push_back(inner.activeDuringInit != hwnd ? "inner active" : "outer active");
        log->push_back(GetActiveWindow() == hwnd ? "outer active again" : "lost");
        EndDialog(hwnd, 3);
        return TRUE;
    }
    return FALSE;
}

TEST_F(DialogRuntimeTest, NestedDialogsRunInnermostFirst) {
    // The script plays both dialogs: the outer presses Done, which opens the
    // inner one; the inner one's Done ends it with 1.
    platform::ScriptedDialogDriver script({platform::DialogAction::Press(kOk)});
    platform::ScopedDialogDriver use(&script);
    std::vector<std::string> log;
    EXPECT_EQ(DialogBoxParamA(platform::ThisModule(), MAKEINTRESOURCEA(kTemplateId), nullptr,
                              OuterProc, reinterpret_cast<LPARAM>(&log)),
              3);
    EXPECT_EQ(log, (std::vector<std::string>{"inner 1", "inner active", "outer active again"}));
    EXPECT_EQ(script.DialogsRun(), 2);
}

TEST_F(DialogRuntimeTest, TerminalDriverShowsTheDialogAndTakesTypedChoices) {
    std::istringstream in("gam\nbogus\n  delta \nDONE\n");
    std::ostringstream out;
    platform::TerminalDialogDriver terminal(in, out);
    platform::ScopedDialogDriver use(&terminal);
    Recorder r;
    EXPECT_EQ(Run(&r), 1);
    const std::string shown = out.str();
    EXPECT_NE(shown.find("== Test dialog =="), std::string::npos) << shown;
    EXPECT_NE(shown.find("Value: initial"), std::string::npos) << shown;
    EXPECT_NE(shown.find("( ) Alpha  ( ) Beta"), std::string::npos) << shown;
    EXPECT_NE(shown.find("(*) Gamma  ( ) Delta"), std::string::npos) << shown;
    EXPECT_NE(shown.find("( ) Gamma  (*) Delta"), std::string::npos) << shown;
    EXPECT_NE(shown.find("No control 'bogus'"), std::string::npos) << shown;
    EXPECT_NE(shown.find("[Done]"), std::string::npos) << shown;
    std::vector<int> commands;
    for (const auto& m : r.messages) {
        if (m.first == WM_COMMAND)
            commands.push_back(m.second);
    }
    EXPECT_EQ(commands, (std::vector<int>{kFirstB, kSecondB, kOk}));
}

TEST_F(DialogRuntimeTest, TerminalDriverClosesAtTheEndOfInputAndOnAnAmbiguousPrefixAsks) {
    // "de" is Delta; "d" alone is too short, "D" matches nothing exactly.
    std::istringstream in("d\n");
    std::ostringstream out;
    platform::TerminalDialogDriver terminal(in, out);
    platform::ScopedDialogDriver use(&terminal);
    Recorder r;
    EXPECT_EQ(Run(&r), 7) << "end of input closes the window";
    EXPECT_NE(out.str().find("No control 'd'"), std::string::npos);
}

}  // namespace

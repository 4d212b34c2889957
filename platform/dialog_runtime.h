// The portable dialog runtime behind platform/dialog.h (builds without the
// Windows headers): dialog templates registered by modules under a resource
// ID, the running dialog as its driver sees it, and the drivers that play
// the user during the modal loop.
//
//     platform::RegisterDialogTemplate(platform::ThisModule(), 201, kTemplate);
//     platform::ScriptedDialogDriver script({
//         platform::DialogAction::Check(203), platform::DialogAction::Press(212),
//         platform::DialogAction::Close()});
//     platform::ScopedDialogDriver use(&script);
//     INT_PTR r = DialogBoxParamA(platform::ThisModule(), MAKEINTRESOURCEA(201),
//                                 GetActiveWindow(), Proc, 0);
//
// A driver gets the dialog after WM_INITDIALOG has been handled; when its
// Run returns and the dialog has not ended, the runtime closes it as a user
// closing the window would (WM_CLOSE, then IDCANCEL), and ends it with
// IDCANCEL if the procedure still keeps it open. Without an installed
// driver every dialog is closed that way at once.
#pragma once

#ifndef _WIN32

#include <functional>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialog.h"

namespace platform {

enum class DialogItemKind {
    kGroupBox,
    kAutoRadioButton,
    kPushButton,
    kStatic,
    kEdit,
};

// One control of a template; position and size in dialog units.
struct DialogItemTemplate {
    DialogItemKind kind;
    int id;            // -1 for controls nobody addresses (labels, group boxes)
    const char* text;  // initial text (UTF-8); null for none
    short x, y, cx, cy;
    DWORD style;  // WS_/BS_/ES_ flags; WS_GROUP starts a radio group
};

// A dialog template: caption, font, size (dialog units), window style and
// `itemCount` controls at `items`, in tab order. The runtime copies it when
// it is registered: the caller keeps ownership of its arrays.
struct DialogTemplate {
    const char* caption;
    const char* fontName;
    int pointSize;
    short cx, cy;
    DWORD style;
    const DialogItemTemplate* items;
    int itemCount;
};

// Registers `dialog` as resource `resourceId` of the module `module` (any
// address inside the module will do: platform::ThisModule()); a later
// registration of the same name replaces the earlier one. Returns false when
// `dialog` holds no items pointer for a nonzero count.
bool RegisterDialogTemplate(HINSTANCE module, int resourceId, const DialogTemplate& dialog);
// Removes a registration; false when there was none.
bool UnregisterDialogTemplate(HINSTANCE module, int resourceId);

// A control of a running dialog as a driver sees it.
struct DialogItemState {
    DialogItemKind kind;
    int id;
    std::string text;
    bool checked;
    short x, y, cx, cy;
    DWORD style;
};

// The running dialog, handed to a driver. The actions deliver messages to
// the dialog procedure as the user's input would; each returns false when
// the dialog has already ended or has no such control.
class DialogSession {
  public:
    virtual ~DialogSession() = default;

    virtual HWND Handle() const = 0;
    virtual const std::string& Caption() const = 0;
    virtual const std::vector<DialogItemState>& Items() const = 0;
    // Text and check state of the control `id` (empty / false if unknown).
    virtual std::string ItemText(int id) const = 0;
    virtual bool IsChecked(int id) const = 0;
    virtual bool Ended() const = 0;
    virtual INT_PTR Result() const = 0;

    // A click on an auto radio button: checks it, clears the other auto
    // radio buttons of its group, then WM_COMMAND(id, BN_CLICKED).
    virtual bool ClickRadio(int id) = 0;
    // A click on a push button: WM_COMMAND(id, BN_CLICKED).
    virtual bool PressButton(int id) = 0;
    // The window's close box: WM_CLOSE.
    virtual bool Close() = 0;
};

// Plays the user of a modal dialog.
class DialogDriver {
  public:
    virtual ~DialogDriver() = default;
    virtual void Run(DialogSession& session) = 0;
};

// Installs `driver` for the dialogs this process runs from now on (null:
// close each dialog at once) and returns the driver it replaces. The
// runtime does not own drivers; keep one alive while it is installed.
DialogDriver* SetDialogDriver(DialogDriver* driver);

// Installs a driver for the lifetime of the object, then puts the previous
// one back.
class ScopedDialogDriver {
  public:
    explicit ScopedDialogDriver(DialogDriver* driver) : previous_(SetDialogDriver(driver)) {}
    ~ScopedDialogDriver() { SetDialogDriver(previous_); }
    ScopedDialogDriver(const ScopedDialogDriver&) = delete;
    ScopedDialogDriver& operator=(const ScopedDialogDriver&) = delete;

  private:
    DialogDriver* previous_;
};

// One step of a script.
struct DialogAction {
    enum Kind { kCheck, kPress, kClose, kInspect };
    Kind kind;
    int id;
    std::function<void(const DialogSession&)> inspect;

    static DialogAction Check(int id) { return {kCheck, id, nullptr}; }
    static DialogAction Press(int id) { return {kPress, id, nullptr}; }
    static DialogAction Close() { return {kClose, 0, nullptr}; }
    // Looks at the dialog at this point of the script (tests).
    static DialogAction Inspect(std::function<void(const DialogSession&)> f) {
        return {kInspect, 0, std::move(f)};
    }
};

// Plays a list of actions against every dialog it runs, in order, and stops
// early when the dialog ends. Counts the dialogs it ran and the actions the
// dialog refused (unknown control, dialog already ended).
class ScriptedDialogDriver : public DialogDriver {
  public:
    explicit ScriptedDialogDriver(std::vector<DialogAction> actions)
        : actions_(std::move(actions)) {}
    void Run(DialogSession& session) override;

    int DialogsRun() const { return dialogsRun_; }
    int RefusedActions() const { return refused_; }

  private:
    std::vector<DialogAction> actions_;
    int dialogsRun_ = 0;
    int refused_ = 0;
};

// Shows the dialog on a text terminal and reads the user's commands, one a
// line: the text of a radio button checks it, the text of a push button
// presses it (case does not matter; a unique prefix of at least two letters
// will do), "close" or the end of input closes the dialog. After each
// command that leaves the dialog open, it is shown again.
class TerminalDialogDriver : public DialogDriver {
  public:
    TerminalDialogDriver(std::istream& in, std::ostream& out) : in_(in), out_(out) {}
    void Run(DialogSession& session) override;

    // The dialog as the terminal shows it: caption, labels with the text of
    // the field beside each, radio buttons with their states, push buttons.
    static std::string Render(const DialogSession& session);

  private:
    std::istream& in_;
    std::ostream& out_;
};

// True when standard input and output are terminals.
bool StdioIsTerminal();

}  // namespace platform

#endif  // !_WIN32

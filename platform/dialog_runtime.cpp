// The dialog runtime: registered templates, running dialogs and their modal
// loop, and the Win32 dialog calls over them.
#include "platform/dialog_runtime.h"

#include <dlfcn.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <mutex>
#include <new>
#include <utility>

#include "platform/com_runtime.h"

namespace platform {
namespace {

struct StoredTemplate {
    std::string caption;
    std::string fontName;
    int pointSize = 0;
    short cx = 0;
    short cy = 0;
    DWORD style = 0;
    std::vector<DialogItemState> items;
};

// Templates are keyed by the load address of their module, so that any
// address inside the module names it (each translation unit has its own
// ThisModule() marker).
using TemplateKey = std::pair<const void*, int>;

std::mutex& TemplateLock() {
    static std::mutex lock;
    return lock;
}

std::map<TemplateKey, StoredTemplate>& Templates() {
    static std::map<TemplateKey, StoredTemplate> templates;
    return templates;
}

const void* ModuleBase(HINSTANCE module) {
    if (module == nullptr)
        return nullptr;
    Dl_info info;
    if (dladdr(reinterpret_cast<void*>(module), &info) != 0 && info.dli_fbase != nullptr) {
        return info.dli_fbase;
    }
    return module;
}

std::atomic<DialogDriver*> g_driver{nullptr};

class RunningDialog;
// The dialogs running on this thread, innermost last.
thread_local std::vector<RunningDialog*> t_running;

class RunningDialog final : public DialogSession {
  public:
    RunningDialog(const StoredTemplate& dialog, DLGPROC proc, HWND owner)
        : caption_(dialog.caption), items_(dialog.items), proc_(proc), owner_(owner) {}

    HWND Handle() const override {
        return reinterpret_cast<HWND>(const_cast<RunningDialog*>(this));
    }
    const std::string& Caption() const override { return caption_; }
    const std::vector<DialogItemState>& Items() const override { return items_; }
    std::string ItemText(int id) const override {
        const DialogItemState* item = Find(id);
        return item != nullptr ? item->text : std::string();
    }
    bool IsChecked(int id) const override {
        const DialogItemState* item = Find(id);
        return item != nullptr && item->checked;
    }
    bool Ended() const override { return ended_; }
    INT_PTR Result() const override { return result_; }

    bool ClickRadio(int id) override {
        DialogItemState* item = Find(id);
        if (ended_ || item == nullptr || item->kind != DialogItemKind::kAutoRadioButton) {
            return false;
        }
        // The group runs from the nearest WS_GROUP control at or before the
        // button up to the next WS_GROUP control.
        const size_t at = static_cast<size_t>(item - items_.data());
        size_t first = at;
        while (first > 0 && (items_[first].style & WS_GROUP) == 0)
            --first;
        size_t last = at + 1;
        while (last < items_.size() && (items_[last].style & WS_GROUP) == 0)
            ++last;
        for (size_t i = first; i < last; ++i) {
            if (items_[i].kind == DialogItemKind::kAutoRadioButton)
                items_[i].checked = i == at;
        }
        Deliver(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        return true;
    }

    bool PressButton(int id) override {
        const DialogItemState* item = Find(id);
        if (ended_ || item == nullptr || item->kind != DialogItemKind::kPushButton)
            return false;
        Deliver(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
        return true;
    }

    bool Close() override {
        if (ended_)
            return false;
        Send(WM_CLOSE, 0, 0);
        return true;
    }

    // The procedure's answer to one message.
    LRESULT Deliver(UINT msg, WPARAM wParam, LPARAM lParam) {
        return static_cast<LRESULT>(proc_(Handle(), msg, wParam, lParam));
    }

    // A message as SendMessage delivers it, with the default handling of an
    // unhandled WM_CLOSE.
    LRESULT Send(UINT msg, WPARAM wParam, LPARAM lParam) {
        const LRESULT handled = Deliver(msg, wParam, lParam);
        if (msg == WM_CLOSE && handled == FALSE && !ended_) {
            Deliver(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
        }
        return handled;
    }

    void End(INT_PTR result) {
        if (ended_)
            return;
        ended_ = true;
        result_ = result;
    }

    DialogItemState* Find(int id) {
        for (DialogItemState& item : items_) {
            if (item.id == id && id != -1)
                return &item;
        }
        return nullptr;
    }
    const DialogItemState* Find(int id) const { return const_cast<RunningDialog*>(this)->Find(id); }

    LONG_PTR& UserSlot(int index) { return index == DWLP_USER ? dwlpUser_ : gwlpUserData_; }
    HWND Owner() const { return owner_; }

  private:
    std::string caption_;
    std::vector<DialogItemState> items_;
    DLGPROC proc_;
    HWND owner_;
    bool ended_ = false;
    INT_PTR result_ = 0;
    LONG_PTR dwlpUser_ = 0;
    LONG_PTR gwlpUserData_ = 0;
};

RunningDialog* FindRunning(HWND hwnd) {
    for (RunningDialog* d : t_running) {
        if (d->Handle() == hwnd)
            return d;
    }
    return nullptr;
}

// Keeps a dialog on this thread's stack while its loop runs.
class RunningScope {
  public:
    explicit RunningScope(RunningDialog* d) { t_running.push_back(d); }
    ~RunningScope() { t_running.pop_back(); }
    RunningScope(const RunningScope&) = delete;
    RunningScope& operator=(const RunningScope&) = delete;
};

}  // namespace

bool RegisterDialogTemplate(HINSTANCE module, int resourceId, const DialogTemplate& dialog) {
    if (dialog.itemCount > 0 && dialog.items == nullptr)
        return false;
    StoredTemplate stored;
    stored.caption = dialog.caption != nullptr ? dialog.caption : "";
    stored.fontName = dialog.fontName != nullptr ? dialog.fontName : "";
    stored.pointSize = dialog.pointSize;
    stored.cx = dialog.cx;
    stored.cy = dialog.cy;
    stored.style = dialog.style;
    for (int i = 0; i < dialog.itemCount; ++i) {
        const DialogItemTemplate& t = dialog.items[i];
        stored.items.push_back(
            {t.kind, t.id, t.text != nullptr ? t.text : "", false, t.x, t.y, t.cx, t.cy, t.style});
    }
    std::lock_guard<std::mutex> hold(TemplateLock());
    Templates()[TemplateKey(ModuleBase(module), resourceId)] = std::move(stored);
    return true;
}

bool UnregisterDialogTemplate(HINSTANCE module, int resourceId) {
    std::lock_guard<std::mutex> hold(TemplateLock());
    return Templates().erase(TemplateKey(ModuleBase(module), resourceId)) > 0;
}

DialogDriver* SetDialogDriver(DialogDriver* driver) {
    return g_driver.exchange(driver);
}

void ScriptedDialogDriver::Run(DialogSession& session) {
    ++dialogsRun_;
    for (const DialogAction& action : actions_) {
        if (session.Ended())
            break;
        bool done = true;
        switch (action.kind) {
            case DialogAction::kCheck:
                done = session.ClickRadio(action.id);
                break;
            case DialogAction::kPress:
                done = session.PressButton(action.id);
                break;
            case DialogAction::kClose:
                done = session.Close();
                break;
            case DialogAction::kInspect:
                if (action.inspect)
                    action.inspect(session);
                break;
        }
        if (!done)
            ++refused_;
    }
}

}  // namespace platform

using platform::RunningDialog;

extern "C" {

INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                        DLGPROC lpDialogFunc, LPARAM dwInitParam) {
    if (lpDialogFunc == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return -1;
    }
    if (!IS_INTRESOURCE(lpTemplateName)) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    const int resourceId = static_cast<int>(reinterpret_cast<ULONG_PTR>(lpTemplateName));
    try {
        std::unique_ptr<RunningDialog> dialog;
        {
            std::lock_guard<std::mutex> hold(platform::TemplateLock());
            auto found = platform::Templates().find(
                platform::TemplateKey(platform::ModuleBase(hInstance), resourceId));
            if (found == platform::Templates().end()) {
                SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
                return -1;
            }
            dialog = std::make_unique<RunningDialog>(found->second, lpDialogFunc, hWndParent);
        }
        platform::RunningScope running(dialog.get());
        dialog->Deliver(WM_INITDIALOG, 0, dwInitParam);
        platform::DialogDriver* driver = platform::g_driver.load();
        if (!dialog->Ended() && driver != nullptr)
            driver->Run(*dialog);
        // Whatever the driver left open is closed as by the window's close
        // box; a procedure that refuses even that is ended with IDCANCEL.
        if (!dialog->Ended())
            dialog->Close();
        if (!dialog->Ended())
            dialog->End(IDCANCEL);
        return dialog->Result();
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return -1;
    }
}

BOOL EndDialog(HWND hDlg, INT_PTR nResult) {
    RunningDialog* d = platform::FindRunning(hDlg);
    if (d == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    d->End(nResult);
    return TRUE;
}

BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck) {
    RunningDialog* d = platform::FindRunning(hDlg);
    platform::DialogItemState* item = d != nullptr ? d->Find(nIDButton) : nullptr;
    if (item == nullptr) {
        SetLastError(d == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_CONTROL_ID_NOT_FOUND);
        return FALSE;
    }
    item->checked = uCheck == BST_CHECKED;
    return TRUE;
}

UINT IsDlgButtonChecked(HWND hDlg, int nIDButton) {
    RunningDialog* d = platform::FindRunning(hDlg);
    return d != nullptr && d->IsChecked(nIDButton) ? BST_CHECKED : BST_UNCHECKED;
}

BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString) {
    RunningDialog* d = platform::FindRunning(hDlg);
    platform::DialogItemState* item = d != nullptr ? d->Find(nIDDlgItem) : nullptr;
    if (item == nullptr) {
        SetLastError(d == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_CONTROL_ID_NOT_FOUND);
        return FALSE;
    }
    try {
        item->text = lpString != nullptr ? lpString : "";
    } catch (const std::bad_alloc&) {
        SetLastError(ERROR_OUTOFMEMORY);
        return FALSE;
    }
    return TRUE;
}

UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax) {
    if (lpString == nullptr || cchMax < 1)
        return 0;
    lpString[0] = '\0';
    RunningDialog* d = platform::FindRunning(hDlg);
    const platform::DialogItemState* item = d != nullptr ? d->Find(nIDDlgItem) : nullptr;
    if (item == nullptr) {
        SetLastError(d == nullptr ? ERROR_INVALID_WINDOW_HANDLE : ERROR_CONTROL_ID_NOT_FOUND);
        return 0;
    }
    const size_t n = std::min(item->text.size(), static_cast<size_t>(cchMax - 1));
    std::memcpy(lpString, item->text.data(), n);
    lpString[n] = '\0';
    return static_cast<UINT>(n);
}

HWND GetActiveWindow() {
    return platform::t_running.empty() ? nullptr : platform::t_running.back()->Handle();
}

LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
    RunningDialog* d = platform::FindRunning(hWnd);
    return d != nullptr ? d->Send(Msg, wParam, lParam) : 0;
}

LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong) {
    RunningDialog* d = platform::FindRunning(hWnd);
    if (d == nullptr || (nIndex != DWLP_USER && nIndex != GWLP_USERDATA))
        return 0;
    return std::exchange(d->UserSlot(nIndex), dwNewLong);
}

LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex) {
    RunningDialog* d = platform::FindRunning(hWnd);
    if (d == nullptr || (nIndex != DWLP_USER && nIndex != GWLP_USERDATA))
        return 0;
    return d->UserSlot(nIndex);
}

}  // extern "C"

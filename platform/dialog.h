// Modal dialogs with the Win32 names: DialogBoxParamA, EndDialog,
// CheckDlgButton, IsDlgButtonChecked, SetDlgItemTextA, GetDlgItemTextA,
// GetActiveWindow, SendMessageA and the per-window DWLP_USER slot, with the
// messages a dialog procedure sees (WM_INITDIALOG, WM_COMMAND, WM_CLOSE).
//
// On Windows this header is <windows.h> and user32 runs the dialogs.
// Elsewhere the same calls run on our dialog runtime: a dialog is built from
// a template a module registered under a resource ID (dialog_runtime.h), and
// its modal loop is run by a pluggable driver that plays the user: a script
// (tests, the command line) or the terminal. Control styles carry the
// Windows values so that one template source serves both.
#pragma once

#ifdef _WIN32
#include <windows.h>
#else

#include "platform/win_types.h"

typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);

// Messages a dialog procedure receives.
#define WM_CLOSE 0x0010
#define WM_INITDIALOG 0x0110
#define WM_COMMAND 0x0111

// Button notifications and states, standard command IDs.
#define BN_CLICKED 0
#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define IDOK 1
#define IDCANCEL 2

// Window, dialog, button, edit and static styles (Windows values).
#define WS_POPUP 0x80000000L
#define WS_VISIBLE 0x10000000L
#define WS_CHILD 0x40000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define DS_MODALFRAME 0x80L
#define DS_SETFONT 0x40L
#define DS_CENTER 0x0800L
#define BS_PUSHBUTTON 0x0L
#define BS_DEFPUSHBUTTON 0x1L
#define BS_GROUPBOX 0x7L
#define BS_AUTORADIOBUTTON 0x9L
#define ES_LEFT 0x0L
#define ES_AUTOHSCROLL 0x80L
#define ES_READONLY 0x800L
#define SS_LEFT 0x0L

// The user slot of a dialog window (GetWindowLongPtr / SetWindowLongPtr).
#define DWLP_USER 16
#define GWLP_USERDATA (-21)

// Win32 errors of the dialog calls.
#define ERROR_INVALID_WINDOW_HANDLE 1400L
#define ERROR_CONTROL_ID_NOT_FOUND 1421L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L

// Resource names: an integer ID travels in the low word of the pointer.
#define MAKEINTRESOURCEA(i) (reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<ULONG_PTR>(p) >> 16) == 0)
#define LOWORD(l) (static_cast<WORD>(static_cast<DWORD_PTR>(l) & 0xffff))
#define HIWORD(l) (static_cast<WORD>((static_cast<DWORD_PTR>(l) >> 16) & 0xffff))
#define MAKEWPARAM(l, h)                                            \
    (static_cast<WPARAM>(static_cast<DWORD>(static_cast<WORD>(l)) | \
                         (static_cast<DWORD>(static_cast<WORD>(h)) << 16)))

extern "C" {

// Builds the dialog of template `lpTemplateName` (an integer resource ID
// from MAKEINTRESOURCEA) registered by module `hInstance`, sends
// WM_INITDIALOG with `dwInitParam` to `lpDialogFunc`, and runs the modal
// loop with the installed driver until the dialog ends. Returns the value
// given to EndDialog; -1 when the dialog cannot be run, with the last error
// set: ERROR_RESOURCE_NAME_NOT_FOUND (no such template),
// ERROR_INVALID_PARAMETER (null procedure), ERROR_OUTOFMEMORY (no memory for
// the dialog or its loop). `hWndParent` is the owner (may be null).
INT_PTR DialogBoxParamA(HINSTANCE hInstance, LPCSTR lpTemplateName, HWND hWndParent,
                        DLGPROC lpDialogFunc, LPARAM dwInitParam);

// Marks a running dialog to end with `nResult` once the current message has
// been handled. FALSE (ERROR_INVALID_WINDOW_HANDLE) for a handle that is not
// a running dialog.
BOOL EndDialog(HWND hDlg, INT_PTR nResult);

// Sets a button's check state (BST_CHECKED or BST_UNCHECKED); leaves the
// other buttons of its group alone, as on Windows. FALSE with
// ERROR_CONTROL_ID_NOT_FOUND when the dialog has no such control.
BOOL CheckDlgButton(HWND hDlg, int nIDButton, UINT uCheck);
// BST_CHECKED or BST_UNCHECKED (also for an unknown control).
UINT IsDlgButtonChecked(HWND hDlg, int nIDButton);

// Sets a control's text (null clears it). FALSE for an unknown control.
BOOL SetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPCSTR lpString);
// Copies a control's text into lpString, which holds cchMax chars including
// the terminator; a longer text is cut. Returns the number of chars copied
// without the terminator; 0 for an unknown control or cchMax < 1.
UINT GetDlgItemTextA(HWND hDlg, int nIDDlgItem, LPSTR lpString, int cchMax);

// The innermost running dialog of this process, or null when none runs.
HWND GetActiveWindow();

// Delivers a message to the dialog procedure and returns its answer. A
// WM_CLOSE the procedure leaves unhandled (FALSE) becomes
// WM_COMMAND(IDCANCEL), as the default dialog procedure does. 0 for a handle
// that is not a running dialog.
LRESULT SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);

// The dialog's user slot: nIndex DWLP_USER or GWLP_USERDATA. Set returns the
// previous value; both answer 0 for a handle that is not a running dialog.
LONG_PTR SetWindowLongPtrA(HWND hWnd, int nIndex, LONG_PTR dwNewLong);
LONG_PTR GetWindowLongPtrA(HWND hWnd, int nIndex);

}  // extern "C"

#endif  // _WIN32

#include "account/login_dialog.h"

#include "account/credentials.h"
#include "account/pass_hash.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "common/ui_win.h"

#include <windows.h>

namespace {
const int login_dialog_id = 100;
const int contract_field_id = 100;
const int password_field_id = 101;
const int remember_box_id = 102;

void set_owner_icons(HWND dialog, HWND owner)
{
    SendMessageA(dialog, WM_SETICON, ICON_BIG, static_cast<LPARAM>(GetClassLongPtrA(owner, GCLP_HICON)));
    SendMessageA(dialog, WM_SETICON, ICON_SMALL, static_cast<LPARAM>(GetClassLongPtrA(owner, GCLP_HICONSM)));
}

void report_failure(HWND dialog, int code)
{
    if (code == code_empty_field) {
        message_box(dialog, catalogue_ref(TEXT_BAD_CREDENTIALS), BOX_ERROR);
        return;
    }
    char* format = load_text(TEXT_HASH_ERROR);
    if (format != nullptr) {
        char scratch[1024];  // wsprintfA writes at most 1024 bytes
        wsprintfA(scratch, format, static_cast<unsigned long>(code));
        message_box(dialog, scratch, BOX_ERROR);
    }
    free_text(format);
}

BOOL accept_login(HWND dialog)
{
    Credentials& credentials = app_state.credentials;
    credentials.contract_number[0] = '\0';
    credentials.pass_hash[0] = '\0';
    GetDlgItemTextA(dialog, contract_field_id, credentials.contract_number, sizeof credentials.contract_number);
    trim_spaces(credentials.contract_number);
    char* password = window_text_copy(GetDlgItem(dialog, password_field_id));
    if (password == nullptr) {
        return FALSE;
    }
    int code = credentials.contract_number[0] != '\0' && password[0] != '\0'
        ? make_pass_hash(password, credentials.pass_hash)
        : code_empty_field;
    // Zeroed over the whole allocation, whatever the hashing gave.
    secure_wipe(password, LocalSize(password));
    free_text(password);
    if (code == HASH_DONE && credentials.contract_number[0] != '\0' && credentials.pass_hash[0] != '\0') {
        bool remember = IsDlgButtonChecked(dialog, remember_box_id) == BST_CHECKED;
        EndDialog(dialog, remember ? LOGIN_REMEMBER : LOGIN_ACCEPTED);
        return TRUE;
    }
    credentials.contract_number[0] = '\0';
    credentials.pass_hash[0] = '\0';
    report_failure(dialog, code);
    SetFocus(GetDlgItem(dialog, contract_field_id));
    return FALSE;
}
}  // namespace

INT_PTR CALLBACK login_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam)
{
    if (message == WM_INITDIALOG) {
        set_owner_icons(dialog, reinterpret_cast<HWND>(lparam));
        return TRUE;
    }
    if (message != WM_COMMAND) {
        return FALSE;
    }
    if (wparam == IDCANCEL) {
        EndDialog(dialog, LOGIN_CANCELLED);
        return TRUE;
    }
    return wparam == IDOK ? accept_login(dialog) : FALSE;
}

int show_login_dialog(WindowHandle owner)
{
    HWND window = static_cast<HWND>(owner);
    return static_cast<int>(DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(login_dialog_id),
                                            window, login_dialog_proc, reinterpret_cast<LPARAM>(window)));
}

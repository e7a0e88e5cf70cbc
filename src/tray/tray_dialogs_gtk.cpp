#include "tray/tray_dialogs.h"

#include "account/balance_query.h"
#include "account/credentials.h"
#include "account/login_dialog.h"
#include "account/pass_hash.h"
#include "account/settings.h"
#include "common/charset_posix.h"
#include "common/heap_text.h"
#include "common/texts.h"
#include "common/texts_posix.h"
#include "common/ui.h"

#include <atomic>
#include <climits>
#include <cstdio>
#include <cstring>
#include <gtk/gtk.h>

namespace {
const int code_empty_field = 100;  // as in the Windows dialog: a field was left empty
const int keep_asking = -1;

// The Windows dialog's texts.
const char dialog_title[] = N_("View account balance");
const char contract_label[] = N_("Contract number:");
const char password_label[] = N_("Password:");
const char remember_label[] = N_("Remember these details");
const char ok_label[] = N_("OK");
const char cancel_label[] = N_("Cancel");

const char not_stored_text[] = N_("The contract number and password were not remembered:");

std::atomic<int> stage{STAGE_IDLE};
GtkWidget* open_window = nullptr;  // the dialog or box on top; GTK thread only
bool remember_chosen = false;
char settings_path[PATH_MAX];

struct LoginFields {
    GtkWidget* number;
    GtkWidget* password;
    GtkWidget* remember;
};

// The label's text in UTF-8 for GTK (g_free).
char* label_text(const char* message)
{
    char* text = translate_utf8(message);
    char* copy = g_strdup(text == nullptr ? message : text);
    free_text(text);
    return copy;
}

// Shows `window` modal until it answers; the previous top window comes back on top.
int run_modal(GtkWidget* window)
{
    GtkWidget* below = open_window;
    open_window = window;
    gtk_window_set_keep_above(GTK_WINDOW(window), TRUE);
    int response = gtk_dialog_run(GTK_DIALOG(window));
    open_window = below;
    return response;
}

void report_failure(GtkWidget* dialog, int code)
{
    const char* refusal = typed_password_refusal(code);
    if (code == code_empty_field) {
        message_box(dialog, catalogue_ref(TEXT_BAD_CREDENTIALS), BOX_ERROR);
    } else if (refusal != nullptr) {
        message_box(dialog, translate(refusal), BOX_ERROR);
    } else {
        char* format = load_text(TEXT_HASH_ERROR);
        if (format != nullptr) {
            char scratch[1024];
            snprintf(scratch, sizeof scratch, format, static_cast<unsigned long>(code));
            message_box(dialog, scratch, BOX_ERROR);
        }
        free_text(format);
    }
}

// The Windows dialog's OK: the contract number is what GetDlgItemTextA gives
// (its Windows-1251 form, cut to 14 characters), trimmed; the password is
// hashed over its Windows-1251 bytes as the command hashes it.
int accept_login(GtkWidget* dialog, const LoginFields& fields)
{
    Credentials& credentials = app_state.credentials;
    const char* number = gtk_entry_get_text(GTK_ENTRY(fields.number));
    char* ansi = convert_text(number, strlen(number), "UTF-8", "WINDOWS-1251");
    if (ansi == nullptr) {
        return LOGIN_NO_CONVERTER;
    }
    copy_text(credentials.contract_number, ansi, sizeof credentials.contract_number);
    free_text(ansi);
    trim_spaces(credentials.contract_number);
    const char* password = gtk_entry_get_text(GTK_ENTRY(fields.password));
    int code = credentials.contract_number[0] != '\0' && password[0] != '\0'
        ? hash_typed_password(password, "UTF-8", credentials.pass_hash)
        : code_empty_field;
    if (code == HASH_DONE && credentials.pass_hash[0] != '\0') {
        return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(fields.remember)) ? LOGIN_REMEMBER : LOGIN_ACCEPTED;
    }
    wipe_credentials();
    if (code == TYPED_NO_CONVERTER) {
        return LOGIN_NO_CONVERTER;
    }
    report_failure(dialog, code);
    gtk_widget_grab_focus(fields.number);
    return keep_asking;
}

GtkWidget* add_labelled_entry(GtkGrid* grid, int row, const char* message)
{
    char* text = label_text(message);
    GtkWidget* label = gtk_label_new(text);
    g_free(text);
    gtk_label_set_xalign(GTK_LABEL(label), 0);
    GtkWidget* entry = gtk_entry_new();
    gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
    gtk_label_set_mnemonic_widget(GTK_LABEL(label), entry);
    gtk_grid_attach(grid, label, 0, row, 1, 1);
    gtk_grid_attach(grid, entry, 0, row + 1, 1, 1);
    return entry;
}

GtkWidget* new_login_dialog(LoginFields* fields)
{
    char* title = label_text(dialog_title);
    char* ok = label_text(ok_label);
    char* cancel = label_text(cancel_label);
    GtkWidget* dialog = gtk_dialog_new_with_buttons(title, nullptr, GTK_DIALOG_MODAL, ok, GTK_RESPONSE_OK, cancel,
                                                    GTK_RESPONSE_CANCEL, nullptr);
    g_free(title);
    g_free(ok);
    g_free(cancel);
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 4);
    gtk_container_set_border_width(GTK_CONTAINER(grid), 10);
    fields->number = add_labelled_entry(GTK_GRID(grid), 0, contract_label);
    fields->password = add_labelled_entry(GTK_GRID(grid), 2, password_label);
    gtk_entry_set_visibility(GTK_ENTRY(fields->password), FALSE);
    char* remember = label_text(remember_label);
    fields->remember = gtk_check_button_new_with_label(remember);
    g_free(remember);
    gtk_grid_attach(GTK_GRID(grid), fields->remember, 0, 4, 1, 1);
    gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), grid);
    gtk_widget_show_all(dialog);
    return dialog;
}
}  // namespace

int show_login_dialog(WindowHandle)
{
    LoginFields fields;
    GtkWidget* dialog = new_login_dialog(&fields);
    stage = STAGE_ASKING;
    int choice = keep_asking;
    while (choice == keep_asking) {
        choice = run_modal(dialog) == GTK_RESPONSE_OK ? accept_login(dialog, fields) : LOGIN_CANCELLED;
    }
    stage = STAGE_QUERY;
    remember_chosen = choice == LOGIN_REMEMBER;
    // GTK's entry buffer zeroes the text it lets go.
    gtk_entry_set_text(GTK_ENTRY(fields.password), "");
    gtk_widget_destroy(dialog);
    return choice;
}

// message_box's texts are in the locale's charset, as the command prints them.
int show_box(WindowHandle owner, const char* text, unsigned icon)
{
    char* utf8 = g_locale_to_utf8(text, -1, nullptr, nullptr, nullptr);
    GtkWindow* parent = owner == nullptr ? nullptr : GTK_WINDOW(owner);
    GtkWidget* box = gtk_message_dialog_new(parent, GTK_DIALOG_MODAL,
                                            icon == BOX_ERROR ? GTK_MESSAGE_ERROR : GTK_MESSAGE_INFO, GTK_BUTTONS_OK,
                                            "%s", utf8 == nullptr ? "?" : utf8);
    g_free(utf8);
    // The caption is the owner's title: the dialog's, else text 1.
    char* title = parent == nullptr ? load_text_utf8(TEXT_TITLE) : nullptr;
    gtk_window_set_title(GTK_WINDOW(box), parent != nullptr ? gtk_window_get_title(parent) : title);
    free_text(title);
    int before = stage.exchange(stage == STAGE_ASKING ? STAGE_ASKING : STAGE_BOX);
    run_modal(box);
    stage = before;
    gtk_widget_destroy(box);
    return BOX_PRESSED_OK;
}

int balance_stage()
{
    return stage;
}

void raise_open_window()
{
    if (open_window != nullptr) {
        gtk_window_present(GTK_WINDOW(open_window));
    }
}

void run_balance()
{
    if (stage != STAGE_IDLE) {
        raise_open_window();
        return;
    }
    // A directory that cannot be made stops only the storing.
    if (settings_path[0] == '\0' && default_settings_path(settings_path, sizeof settings_path)) {
        make_private_parent_dirs(settings_path);
        set_settings_path(settings_path);
    }
    stage = STAGE_QUERY;
    remember_chosen = false;
    int error = 0;
    if (balance_command(nullptr) == QUERY_SHOWN && remember_chosen &&
        settings_store_result(&error) != SETTINGS_STORED) {
        char text[PATH_MAX + 512];
        snprintf(text, sizeof text, "%s\n%s (%s)", translate(not_stored_text), settings_path, strerror(error));
        message_box(nullptr, text, BOX_ERROR);
    }
    stage = STAGE_IDLE;
}

void close_open_box()
{
    if (open_window != nullptr && GTK_IS_MESSAGE_DIALOG(open_window)) {
        gtk_dialog_response(GTK_DIALOG(open_window), GTK_RESPONSE_OK);
    }
}

namespace {
gboolean show_note(gpointer message)
{
    char* text = translate_utf8(static_cast<const char*>(message));
    GtkWidget* box = gtk_message_dialog_new(nullptr, GtkDialogFlags(0), GTK_MESSAGE_INFO, GTK_BUTTONS_OK, "%s",
                                            text == nullptr ? "" : text);
    free_text(text);
    char* title = load_text_utf8(TEXT_TITLE);
    gtk_window_set_title(GTK_WINDOW(box), title);
    free_text(title);
    g_signal_connect(box, "response", G_CALLBACK(gtk_widget_destroy), nullptr);
    gtk_widget_show(box);
    return G_SOURCE_REMOVE;
}
}  // namespace

void post_note(const char* message)
{
    g_main_context_invoke(nullptr, show_note, const_cast<char*>(message));
}

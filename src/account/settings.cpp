#include "account/settings.h"

#include "account/balance_query.h"
#include "account/credentials.h"
#include "account/login_dialog.h"
#include "common/texts.h"
#include "common/ui.h"

namespace {
bool have_credentials()
{
    const Credentials& credentials = app_state.credentials;
    return credentials.contract_number[0] != '\0' && credentials.pass_hash[0] != '\0';
}

void report_query(WindowHandle owner, int code, int choice)
{
    switch (code) {
    case QUERY_SHOWN:
        if (choice == LOGIN_REMEMBER) {
            write_settings();
        }
        break;
    case QUERY_BAD_CREDENTIALS:
        message_box(owner, catalogue_ref(TEXT_BAD_CREDENTIALS), BOX_ERROR);
        break;
    case QUERY_FETCH_FAILED:
        message_box(owner, catalogue_ref(TEXT_CONNECTION_ERROR), BOX_ERROR);
        break;
    case QUERY_TLS_REFUSED:
        message_box(owner, catalogue_ref(tls_failure_text()), BOX_ERROR);
        break;
    default:
        break;  // failures beyond these have no words for the user
    }
}
// How the command ends when the dialog gave no credentials; 0 when it did.
int unanswered_end(int choice)
{
    switch (choice) {
    case LOGIN_CANCELLED:
        return BALANCE_CANCELLED;
    case LOGIN_NO_TERMINAL:
        return BALANCE_NO_TERMINAL;
    case LOGIN_NO_CONVERTER:
        return BALANCE_NO_CONVERTER;
    default:
        return 0;
    }
}
}  // namespace

void read_settings()
{
    Credentials& credentials = app_state.credentials;
    credentials.contract_number[0] = '\0';
    credentials.pass_hash[0] = '\0';
    read_setting(username_key, credentials.contract_number, sizeof credentials.contract_number);
    read_setting(passhash_key, credentials.pass_hash, sizeof credentials.pass_hash);
    validate_credentials();
}

void write_settings()
{
    validate_credentials();
    if (have_credentials()) {
        write_setting_pair(app_state.credentials.contract_number, app_state.credentials.pass_hash);
    }
}

int balance_command(WindowHandle owner)
{
    read_settings();
    int choice = have_credentials() ? LOGIN_FROM_SETTINGS : show_login_dialog(owner);
    int result = unanswered_end(choice);
    if (result == 0) {
        result = query_balance(owner);
        report_query(owner, result, choice);
    }
    wipe_credentials();
    return result;
}

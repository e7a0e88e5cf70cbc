// The Balance command in GTK 3: the login dialog and the message boxes (the
// tray program's show_login_dialog and show_box), and the command's stage.
#pragma once

enum BalanceStage {
    STAGE_IDLE,
    STAGE_ASKING,  // the login dialog, or a box it opened, is shown
    STAGE_QUERY,   // the query runs (nothing is shown)
    STAGE_BOX,     // a box after the query: the balance or why there is none
};

// Any thread: where the Balance command is.
int balance_stage();

// GTK thread: runs the Balance command; while one runs, raises its open dialog
// or box instead.
void run_balance();

// GTK thread: brings the Balance command's open dialog or box to the front.
void raise_open_window();

// GTK thread: closes the open box as its OK would.
void close_open_box();

// Any thread: shows `message` (English, for translate) in a box of its own that
// nothing waits for.
void post_note(const char* message);

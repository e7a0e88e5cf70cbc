// tarvelon-tray: the tray program for Linux desktops.  Two threads: the GTK
// thread runs the commands (dialogs, the blocking balance query); the bus thread
// serves D-Bus from its own main context, so that no reply waits on a query.
// What they share: the bus thread calls only status_text (it reads the kernel's
// tables afresh and keeps nothing), the catalogue (constant texts; gettext is
// thread-safe) and balance_stage (atomic); the external address is the bus
// thread's alone.  app_state's credentials and the settings file are the GTK
// thread's alone.
#pragma once

#include <gio/gio.h>

// The commands: the item ids of menu 100.
enum TrayCommand : unsigned {
    TRAY_EXIT = 100,
    TRAY_STATS_SITE = 101,
    TRAY_BALANCE = 102,
    TRAY_HOME_PAGE = 103,
    TRAY_RAISE = 1,  // not a menu item: a click while a Balance runs
};

// From the bus thread: runs command `id` on the GTK thread; Exit ends the
// program at once, whatever the GTK thread is doing.
void post_command(unsigned id);

// Exports the one interface that `xml` describes at `path` on `bus`; calls
// arrive in the calling thread's main context.  False when it cannot be.
bool export_object(GDBusConnection* bus, const char* path, const char* xml, const GDBusInterfaceVTable* vtable);

// Ends the process with `status` after one line on stderr (none when `message`
// is null), from either thread.
[[noreturn]] void end_program(int status, const char* message);

// The item's menu over com.canonical.dbusmenu: menu 100's items, labels and order.
#pragma once

#include <gio/gio.h>

const char menu_path[] = "/MenuBar";

// Exports the menu on `bus`; calls arrive in the calling thread's main context.
// False when the object cannot be exported.
bool export_tray_menu(GDBusConnection* bus);

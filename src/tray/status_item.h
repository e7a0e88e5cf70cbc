// The StatusNotifierItem: properties, tooltip, Activate, and the registration
// with org.kde.StatusNotifierWatcher.
#pragma once

#include <gio/gio.h>

const char item_path[] = "/StatusNotifierItem";

// Exports the item on `bus`; calls arrive in the calling thread's main context.
// False when the object cannot be exported.
bool export_status_item(GDBusConnection* bus);

// Starts the external-address probe and the tooltip check, and registers the
// item with every watcher that appears on the bus from now on.
void show_status_item(GDBusConnection* bus);

// tarvelon-tray: the balance and the connection status in the desktop's tray.
#include "tray/tray.h"

#include "tray/status_item.h"
#include "tray/tray_dialogs.h"
#include "tray/tray_menu.h"

#include "common/heap_text.h"
#include "common/texts.h"
#include "common/texts_posix.h"

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <unistd.h>

namespace {
// One copy per session: a new copy takes the name and the old one ends.
const char program_bus_name[] = "org.tarvelon.Tray";

const char no_display_text[] = N_("cannot open the display");
const char no_bus_text[] = N_("cannot connect to the session bus");
const char bus_closed_text[] = N_("the session bus went away");
const char display_closed_text[] = N_("the display went away");

void open_in_browser(unsigned text_id)
{
    char* uri = load_text_utf8(text_id);
    GError* error = nullptr;
    if (uri != nullptr && !g_app_info_launch_default_for_uri(uri, nullptr, &error)) {
        fprintf(stderr, "tarvelon-tray: %s: %s\n", uri, error->message);
        g_error_free(error);
    }
    free_text(uri);
}

bool exit_after_balance = false;

// Exit while a box of the Balance command is open does what the Windows program
// does then: the box closes, the command ends as after OK (a pair to remember is
// stored), and the program exits.
gboolean run_command(gpointer data)
{
    unsigned id = GPOINTER_TO_UINT(data);
    if (id == TRAY_STATS_SITE || id == TRAY_HOME_PAGE) {
        open_in_browser(id == TRAY_STATS_SITE ? TEXT_STATS_URL : TEXT_HOME_URL);
    } else if (id == TRAY_BALANCE) {
        run_balance();
    } else if (id == TRAY_RAISE) {
        raise_open_window();
    } else {
        exit_after_balance = true;
        close_open_box();
    }
    if (exit_after_balance && balance_stage() == STAGE_IDLE) {
        end_program(EXIT_SUCCESS, nullptr);
    }
    return G_SOURCE_REMOVE;
}

GDBusConnection* session_bus = nullptr;

gboolean exit_after_reply(gpointer)
{
    g_dbus_connection_flush_sync(session_bus, nullptr, nullptr);
    end_program(EXIT_SUCCESS, nullptr);
}

// GDK would end the program without a word.
int display_lost(Display*)
{
    end_program(EXIT_FAILURE, translate(display_closed_text));
}

void bus_closed(GDBusConnection*, gboolean, GError*, gpointer)
{
    end_program(EXIT_SUCCESS, translate(bus_closed_text));
}

// A newer copy took the name (or the bus went away): this one ends.
void name_lost(GDBusConnection* bus, const char*, gpointer)
{
    end_program(EXIT_SUCCESS, g_dbus_connection_is_closed(bus) ? translate(bus_closed_text) : nullptr);
}

guint old_copy_watch = 0;

// The old copy's item goes with its connection: ours appears after it.
void old_copy_gone(GDBusConnection* bus, const char*, gpointer)
{
    g_bus_unwatch_name(old_copy_watch);
    show_status_item(bus);
}

void name_acquired(GDBusConnection* bus, const char*, gpointer old_copy)
{
    if (old_copy == nullptr) {
        show_status_item(bus);
        return;
    }
    old_copy_watch = g_bus_watch_name_on_connection(bus, static_cast<const char*>(old_copy),
                                                    G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr, old_copy_gone, nullptr,
                                                    nullptr);
}

// The unique name of the copy that holds the program's name, or null.
char* running_copy(GDBusConnection* bus)
{
    GVariant* reply = g_dbus_connection_call_sync(bus, "org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                  "org.freedesktop.DBus", "GetNameOwner",
                                                  g_variant_new("(s)", program_bus_name), G_VARIANT_TYPE("(s)"),
                                                  G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr);
    char* owner = nullptr;
    if (reply != nullptr) {
        g_variant_get(reply, "(s)", &owner);
        g_variant_unref(reply);
    }
    return owner;
}

// The bus thread: every D-Bus call is answered here, in this thread's own main
// context, while the GTK thread may sit in a dialog or a blocking query.
gpointer serve_bus(gpointer)
{
    GMainContext* context = g_main_context_new();
    g_main_context_push_thread_default(context);
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    session_bus = bus;
    if (bus == nullptr || !export_status_item(bus) || !export_tray_menu(bus)) {
        end_program(EXIT_FAILURE, translate(no_bus_text));
    }
    g_dbus_connection_set_exit_on_close(bus, FALSE);
    g_signal_connect(bus, "closed", G_CALLBACK(bus_closed), nullptr);
    g_bus_own_name_on_connection(
        bus, program_bus_name,
        static_cast<GBusNameOwnerFlags>(G_BUS_NAME_OWNER_FLAGS_ALLOW_REPLACEMENT | G_BUS_NAME_OWNER_FLAGS_REPLACE),
        name_acquired, name_lost, running_copy(bus), g_free);
    GMainLoop* loop = g_main_loop_new(context, FALSE);
    g_main_loop_run(loop);
    return nullptr;
}
}  // namespace

// Exit ends the program at once, also during the login dialog (nothing is stored)
// or the query (abandoned, nothing stored); only a box after the query is left to
// the GTK thread.
bool export_object(GDBusConnection* bus, const char* path, const char* xml, const GDBusInterfaceVTable* vtable)
{
    GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(xml, nullptr);
    guint id = g_dbus_connection_register_object(bus, path, node->interfaces[0], vtable, nullptr, nullptr, nullptr);
    g_dbus_node_info_unref(node);
    return id != 0;
}

void post_command(unsigned id)
{
    if (id == TRAY_EXIT && balance_stage() != STAGE_BOX) {
        // The bus thread ends the program once the call in hand has its reply.
        GSource* source = g_idle_source_new();
        g_source_set_callback(source, exit_after_reply, nullptr, nullptr);
        g_source_attach(source, g_main_context_get_thread_default());
        g_source_unref(source);
        return;
    }
    // The busy mark is read as the click arrives: a click during a query is not
    // kept for a second Balance after it.
    if (id == TRAY_BALANCE && balance_stage() != STAGE_IDLE) {
        id = TRAY_RAISE;
    }
    g_main_context_invoke(nullptr, run_command, GUINT_TO_POINTER(id));
}

void end_program(int status, const char* message)
{
    if (message != nullptr) {
        fprintf(stderr, "tarvelon-tray: %s\n", message);
    }
    fflush(stdout);
    fflush(stderr);
    _exit(status);
}

int main(int argc, char** argv)
{
    setlocale(LC_ALL, "");
    if (!gtk_init_check(&argc, &argv)) {
        end_program(EXIT_FAILURE, translate(no_display_text));
    }
    // The dialog and boxes carry the item's themed icon, as the Windows dialog
    // carries the tray window's.
    gtk_window_set_default_icon_name("tarvelon");
    if (GDK_IS_X11_DISPLAY(gdk_display_get_default())) {
        XSetIOErrorHandler(display_lost);
    }
    g_thread_new("bus", serve_bus, nullptr);
    gtk_main();
    return 0;
}

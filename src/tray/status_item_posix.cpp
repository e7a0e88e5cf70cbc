#include "tray/status_item.h"

#include "tray/tray.h"
#include "tray/tray_dialogs.h"
#include "tray/tray_menu.h"

#include "common/heap_text.h"
#include "common/texts.h"
#include "common/texts_posix.h"
#include "status/status_summary.h"

#include <arpa/inet.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {
const char item_xml[] =
    "<node><interface name='org.kde.StatusNotifierItem'>"
    "<property name='Category' type='s' access='read'/>"
    "<property name='Id' type='s' access='read'/>"
    "<property name='Title' type='s' access='read'/>"
    "<property name='Status' type='s' access='read'/>"
    "<property name='WindowId' type='i' access='read'/>"
    "<property name='IconThemePath' type='s' access='read'/>"
    "<property name='IconName' type='s' access='read'/>"
    "<property name='IconPixmap' type='a(iiay)' access='read'/>"
    "<property name='OverlayIconName' type='s' access='read'/>"
    "<property name='OverlayIconPixmap' type='a(iiay)' access='read'/>"
    "<property name='AttentionIconName' type='s' access='read'/>"
    "<property name='AttentionIconPixmap' type='a(iiay)' access='read'/>"
    "<property name='AttentionMovieName' type='s' access='read'/>"
    "<property name='ToolTip' type='(sa(iiay)ss)' access='read'/>"
    "<property name='ItemIsMenu' type='b' access='read'/>"
    "<property name='Menu' type='o' access='read'/>"
    "<method name='ContextMenu'><arg name='x' type='i'/><arg name='y' type='i'/></method>"
    "<method name='Activate'><arg name='x' type='i'/><arg name='y' type='i'/></method>"
    "<method name='SecondaryActivate'><arg name='x' type='i'/><arg name='y' type='i'/></method>"
    "<method name='Scroll'><arg name='delta' type='i'/><arg name='orientation' type='s'/></method>"
    "<signal name='NewTitle'/><signal name='NewIcon'/><signal name='NewAttentionIcon'/>"
    "<signal name='NewOverlayIcon'/><signal name='NewToolTip'/>"
    "<signal name='NewStatus'><arg name='status' type='s'/></signal>"
    "</interface></node>";

const char watcher_name[] = "org.kde.StatusNotifierWatcher";
const char icon_name[] = "tarvelon";
const unsigned tooltip_check_seconds = 2;
const unsigned probe_limit_seconds = 5;

const char no_watcher_text[] =
    N_("the desktop shows no tray items: there is no StatusNotifierWatcher on the session bus. "
       "On GNOME install and enable the AppIndicator extension; the icon appears as soon as a tray "
       "host starts.");

struct IconPixmap {
    int size;
    const char* argb;
};
#define ICON_PIXMAP(size, argb) {size, argb},
const IconPixmap icon_pixmaps[] = {
#include "tray_icon.inc"
};
#undef ICON_PIXMAP

// The bus thread alone reads and writes these.
uint32_t external_address = 0;
char* shown_tooltip = nullptr;

GVariant* utf8_string(char* text)
{
    GVariant* value = g_variant_new_string(text == nullptr ? "" : text);
    free_text(text);
    return value;
}

GVariant* pixmaps(bool with_pictures)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a(iiay)"));
    for (const IconPixmap& pixmap : icon_pixmaps) {
        if (with_pictures) {
            gsize size = static_cast<gsize>(pixmap.size) * static_cast<gsize>(pixmap.size) * 4;
            g_variant_builder_add(&builder, "(ii@ay)", pixmap.size, pixmap.size,
                                  g_variant_new_fixed_array(G_VARIANT_TYPE_BYTE, pixmap.argb, size, 1));
        }
    }
    return g_variant_builder_end(&builder);
}

GVariant* tooltip()
{
    char* body = status_text(external_address);
    GVariant* value = g_variant_new("(s@a(iiay)@s@s)", icon_name, pixmaps(true),
                                    utf8_string(load_text_utf8(TEXT_TITLE)),
                                    g_variant_new_string(body == nullptr ? "" : body));
    free_text(body);
    return value;
}

GVariant* get_property(GDBusConnection*, const char*, const char*, const char*, const char* name,
                       GError** error, gpointer)
{
    if (strcmp(name, "ToolTip") == 0) {
        return tooltip();
    }
    if (strcmp(name, "Title") == 0) {
        return utf8_string(load_text_utf8(TEXT_TITLE));
    }
    if (strcmp(name, "IconPixmap") == 0 || strcmp(name, "OverlayIconPixmap") == 0 ||
        strcmp(name, "AttentionIconPixmap") == 0) {
        return pixmaps(name[0] == 'I');
    }
    if (strcmp(name, "ItemIsMenu") == 0) {
        return g_variant_new_boolean(FALSE);
    }
    if (strcmp(name, "Menu") == 0) {
        return g_variant_new_object_path(menu_path);
    }
    if (strcmp(name, "WindowId") == 0) {
        return g_variant_new_int32(0);
    }
    const char* const texts[][2] = {
        {"Category", "ApplicationStatus"}, {"Id", icon_name}, {"Status", "Active"}, {"IconName", icon_name},
        {"IconThemePath", ""}, {"OverlayIconName", ""}, {"AttentionIconName", ""}, {"AttentionMovieName", ""},
    };
    for (const auto& text : texts) {
        if (strcmp(name, text[0]) == 0) {
            return g_variant_new_string(text[1]);
        }
    }
    g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_UNKNOWN_PROPERTY, "no property %s", name);
    return nullptr;
}

// A click is the way in on these hosts (a single click does nothing on Windows,
// where a double-click is): Activate runs the Balance command.
void call_method(GDBusConnection*, const char*, const char*, const char*, const char* method, GVariant*,
                 GDBusMethodInvocation* invocation, gpointer)
{
    if (strcmp(method, "Activate") == 0) {
        post_command(TRAY_BALANCE);
    }
    g_dbus_method_invocation_return_value(invocation, nullptr);
}

const GDBusInterfaceVTable item_vtable = {call_method, get_property, nullptr, {}};

// NewToolTip only when the text differs from the one last announced.
gboolean check_tooltip(gpointer bus)
{
    char* text = status_text(external_address);
    if (text != nullptr && (shown_tooltip == nullptr || strcmp(text, shown_tooltip) != 0)) {
        free_text(shown_tooltip);
        shown_tooltip = text;
        g_dbus_connection_emit_signal(static_cast<GDBusConnection*>(bus), nullptr, item_path,
                                      "org.kde.StatusNotifierItem", "NewToolTip", nullptr, nullptr);
    } else {
        free_text(text);
    }
    return G_SOURCE_CONTINUE;
}

struct Probe {
    GDBusConnection* bus;
    GSubprocess* process;
    GSource* limit;
};

void probe_answered(GObject*, GAsyncResult* result, gpointer data)
{
    Probe* probe = static_cast<Probe*>(data);
    char* output = nullptr;
    if (g_subprocess_communicate_utf8_finish(probe->process, result, &output, nullptr, nullptr) &&
        output != nullptr) {
        output[strcspn(output, "\n")] = '\0';
        in_addr address;
        if (inet_pton(AF_INET, output, &address) == 1) {
            external_address = address.s_addr;
            check_tooltip(probe->bus);
        }
    }
    g_free(output);
    g_source_destroy(probe->limit);
    g_source_unref(probe->limit);
    g_object_unref(probe->process);
    delete probe;
}

gboolean probe_overdue(gpointer data)
{
    g_subprocess_force_exit(static_cast<Probe*>(data)->process);
    return G_SOURCE_REMOVE;
}

// The tray program holds no capability (with one GLib would ignore the session
// bus address): the installed command probes, bounded in time whatever its name
// resolution does.
void start_probe(GDBusConnection* bus)
{
    GSubprocess* process = g_subprocess_new(
        static_cast<GSubprocessFlags>(G_SUBPROCESS_FLAGS_STDOUT_PIPE | G_SUBPROCESS_FLAGS_STDERR_SILENCE), nullptr,
        TARVELON_PROBE_PROGRAM, "probe", nullptr);
    if (process == nullptr) {
        return;
    }
    Probe* probe = new Probe{bus, process, g_timeout_source_new_seconds(probe_limit_seconds)};
    g_source_set_callback(probe->limit, probe_overdue, probe, nullptr);
    g_source_attach(probe->limit, g_main_context_get_thread_default());
    g_subprocess_communicate_utf8_async(process, nullptr, nullptr, probe_answered, probe);
}

bool watcher_seen = false;

void watcher_appeared(GDBusConnection* bus, const char*, const char* owner, gpointer)
{
    watcher_seen = true;
    g_dbus_connection_call(bus, owner, "/StatusNotifierWatcher", watcher_name, "RegisterStatusNotifierItem",
                           g_variant_new("(s)", g_dbus_connection_get_unique_name(bus)), nullptr,
                           G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
}

// Said once, when there is no watcher at start; the item waits for one.
void watcher_vanished(GDBusConnection*, const char*, gpointer)
{
    if (!watcher_seen) {
        watcher_seen = true;
        fprintf(stderr, "tarvelon-tray: %s\n", translate(no_watcher_text));
        // Started from the desktop's menu (GIO's launchers say so), not by the
        // session at login: the user is looking, and hears it in a box too.
        if (getenv("GIO_LAUNCHED_DESKTOP_FILE") != nullptr && getenv("DESKTOP_AUTOSTART_ID") == nullptr) {
            post_note(no_watcher_text);
        }
    }
}
}  // namespace

bool export_status_item(GDBusConnection* bus)
{
    return export_object(bus, item_path, item_xml, &item_vtable);
}

void show_status_item(GDBusConnection* bus)
{
    start_probe(bus);
    check_tooltip(bus);
    GSource* check = g_timeout_source_new_seconds(tooltip_check_seconds);
    g_source_set_callback(check, check_tooltip, bus, nullptr);
    g_source_attach(check, g_main_context_get_thread_default());
    g_source_unref(check);
    g_bus_watch_name_on_connection(bus, watcher_name, G_BUS_NAME_WATCHER_FLAGS_NONE, watcher_appeared,
                                   watcher_vanished, nullptr, nullptr);
}

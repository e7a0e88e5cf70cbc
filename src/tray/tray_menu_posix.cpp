#include "tray/tray_menu.h"

#include "tray/tray.h"

#include "common/heap_text.h"
#include "common/texts_posix.h"

#include <cstring>

namespace {
const char menu_xml[] =
    "<node><interface name='com.canonical.dbusmenu'>"
    "<property name='Version' type='u' access='read'/>"
    "<property name='TextDirection' type='s' access='read'/>"
    "<property name='Status' type='s' access='read'/>"
    "<property name='IconThemePath' type='as' access='read'/>"
    "<method name='GetLayout'><arg name='parentId' type='i'/><arg name='recursionDepth' type='i'/>"
    "<arg name='propertyNames' type='as'/><arg name='revision' type='u' direction='out'/>"
    "<arg name='layout' type='(ia{sv}av)' direction='out'/></method>"
    "<method name='GetGroupProperties'><arg name='ids' type='ai'/><arg name='propertyNames' type='as'/>"
    "<arg name='properties' type='a(ia{sv})' direction='out'/></method>"
    "<method name='GetProperty'><arg name='id' type='i'/><arg name='name' type='s'/>"
    "<arg name='value' type='v' direction='out'/></method>"
    "<method name='Event'><arg name='id' type='i'/><arg name='eventId' type='s'/><arg name='data' type='v'/>"
    "<arg name='timestamp' type='u'/></method>"
    "<method name='EventGroup'><arg name='events' type='a(isvu)'/>"
    "<arg name='idErrors' type='ai' direction='out'/></method>"
    "<method name='AboutToShow'><arg name='id' type='i'/><arg name='needUpdate' type='b' direction='out'/></method>"
    "<method name='AboutToShowGroup'><arg name='ids' type='ai'/><arg name='updatesNeeded' type='ai' direction='out'/>"
    "<arg name='idErrors' type='ai' direction='out'/></method>"
    "<signal name='ItemsPropertiesUpdated'><arg type='a(ia{sv})'/><arg type='a(ias)'/></signal>"
    "<signal name='LayoutUpdated'><arg type='u'/><arg type='i'/></signal>"
    "<signal name='ItemActivationRequested'><arg type='i'/><arg type='u'/></signal>"
    "</interface></node>";

const unsigned layout_revision = 1;  // the menu never changes

// Menu 100's context menu in its order; ids below 100 are the separators, the
// pop-up and the root, which run no command.
enum ItemKind { ITEM_ROOT, ITEM_COMMAND, ITEM_SEPARATOR, ITEM_SUBMENU };
struct MenuItem {
    int id;
    int parent;
    ItemKind kind;
    const char* label;
};
const MenuItem menu_items[] = {
    {0, -1, ITEM_ROOT, nullptr},
    {TRAY_BALANCE, 0, ITEM_COMMAND, N_("Balance")},
    {1, 0, ITEM_SEPARATOR, nullptr},
    {2, 0, ITEM_SUBMENU, N_("Open")},
    {TRAY_STATS_SITE, 2, ITEM_COMMAND, N_("Subscriber statistics")},
    {TRAY_HOME_PAGE, 2, ITEM_COMMAND, N_("Program website")},
    {3, 0, ITEM_SEPARATOR, nullptr},
    {TRAY_EXIT, 0, ITEM_COMMAND, N_("Exit")},
};

const MenuItem* find_item(int id)
{
    for (const MenuItem& item : menu_items) {
        if (item.id == id) {
            return &item;
        }
    }
    return nullptr;
}

bool wanted(const char* const* names, const char* name)
{
    if (names == nullptr || names[0] == nullptr) {
        return true;
    }
    for (; *names != nullptr; ++names) {
        if (strcmp(*names, name) == 0) {
            return true;
        }
    }
    return false;
}

// The item's properties (a{sv}), those of `names` only unless it is empty.
GVariant* item_properties(const MenuItem& item, const char* const* names)
{
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    if (item.label != nullptr && wanted(names, "label")) {
        char* label = translate_utf8(item.label);
        g_variant_builder_add(&builder, "{sv}", "label", g_variant_new_string(label == nullptr ? "" : label));
        free_text(label);
    }
    if (item.kind == ITEM_SEPARATOR && wanted(names, "type")) {
        g_variant_builder_add(&builder, "{sv}", "type", g_variant_new_string("separator"));
    }
    if ((item.kind == ITEM_ROOT || item.kind == ITEM_SUBMENU) && wanted(names, "children-display")) {
        g_variant_builder_add(&builder, "{sv}", "children-display", g_variant_new_string("submenu"));
    }
    return g_variant_builder_end(&builder);
}

// (ia{sv}av): the item and its children down to `depth` levels (-1: all).
GVariant* layout_of(const MenuItem& item, int depth, const char* const* names)
{
    GVariantBuilder children;
    g_variant_builder_init(&children, G_VARIANT_TYPE("av"));
    if (depth != 0) {
        for (const MenuItem& child : menu_items) {
            if (child.parent == item.id) {
                g_variant_builder_add(&children, "v", layout_of(child, depth - 1, names));
            }
        }
    }
    return g_variant_new("(i@a{sv}av)", item.id, item_properties(item, names), &children);
}

void unknown_item(GDBusMethodInvocation* invocation, int id)
{
    g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "no menu item %d",
                                          id);
}

// A click on a command item runs it; other events (opened, closed, hovered) do nothing.
bool take_event(int id, const char* event)
{
    const MenuItem* item = find_item(id);
    if (item != nullptr && item->kind == ITEM_COMMAND && strcmp(event, "clicked") == 0) {
        post_command(static_cast<unsigned>(id));
    }
    return item != nullptr;
}

GVariant* group_properties(GVariant* parameters)
{
    GVariantIter* ids = nullptr;
    const char** names = nullptr;
    g_variant_get(parameters, "(ai^a&s)", &ids, &names);
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE("a(ia{sv})"));
    bool all = g_variant_iter_n_children(ids) == 0;
    for (const MenuItem& item : menu_items) {
        bool listed = all;
        GVariantIter* scan = g_variant_iter_copy(ids);
        int id = 0;
        while (!listed && g_variant_iter_next(scan, "i", &id)) {
            listed = id == item.id;
        }
        g_variant_iter_free(scan);
        if (listed) {
            g_variant_builder_add(&builder, "(i@a{sv})", item.id, item_properties(item, names));
        }
    }
    g_variant_iter_free(ids);
    g_free(names);
    return g_variant_new("(@a(ia{sv}))", g_variant_builder_end(&builder));
}

// EventGroup and AboutToShowGroup: the ids that name no item are returned.
GVariant* unknown_ids(GVariantIter* ids, bool events)
{
    GVariantBuilder errors;
    g_variant_builder_init(&errors, G_VARIANT_TYPE("ai"));
    int id = 0;
    const char* event = nullptr;
    while (events ? g_variant_iter_next(ids, "(i&svu)", &id, &event, nullptr, nullptr)
                  : g_variant_iter_next(ids, "i", &id)) {
        if (events ? !take_event(id, event) : find_item(id) == nullptr) {
            g_variant_builder_add(&errors, "i", id);
        }
    }
    g_variant_iter_free(ids);
    return g_variant_builder_end(&errors);
}

void call_method(GDBusConnection*, const char*, const char*, const char*, const char* method,
                 GVariant* parameters, GDBusMethodInvocation* invocation, gpointer)
{
    int id = 0;
    GVariantIter* ids = nullptr;
    if (strcmp(method, "GetLayout") == 0) {
        int depth = 0;
        const char** names = nullptr;
        g_variant_get(parameters, "(ii^a&s)", &id, &depth, &names);
        const MenuItem* item = find_item(id);
        if (item == nullptr) {
            unknown_item(invocation, id);
        } else {
            g_dbus_method_invocation_return_value(
                invocation, g_variant_new("(u@(ia{sv}av))", layout_revision, layout_of(*item, depth, names)));
        }
        g_free(names);
    } else if (strcmp(method, "GetGroupProperties") == 0) {
        g_dbus_method_invocation_return_value(invocation, group_properties(parameters));
    } else if (strcmp(method, "GetProperty") == 0) {
        const char* name = nullptr;
        g_variant_get(parameters, "(i&s)", &id, &name);
        const MenuItem* item = find_item(id);
        const char* names[] = {name, nullptr};
        GVariant* properties = item == nullptr ? nullptr : g_variant_ref_sink(item_properties(*item, names));
        GVariant* value = properties == nullptr ? nullptr : g_variant_lookup_value(properties, name, nullptr);
        if (properties != nullptr) {
            g_variant_unref(properties);
        }
        if (value == nullptr) {
            g_dbus_method_invocation_return_error(invocation, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS,
                                                  "no property %s of menu item %d", name, id);
        } else {
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(v)", value));
        }
    } else if (strcmp(method, "Event") == 0) {
        const char* event = nullptr;
        g_variant_get(parameters, "(i&svu)", &id, &event, nullptr, nullptr);
        if (take_event(id, event)) {
            g_dbus_method_invocation_return_value(invocation, nullptr);
        } else {
            unknown_item(invocation, id);
        }
    } else if (strcmp(method, "EventGroup") == 0) {
        g_variant_get(parameters, "(a(isvu))", &ids);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(@ai)", unknown_ids(ids, true)));
    } else if (strcmp(method, "AboutToShow") == 0) {
        g_variant_get(parameters, "(i)", &id);
        if (find_item(id) == nullptr) {
            unknown_item(invocation, id);
        } else {
            g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", FALSE));
        }
    } else {  // AboutToShowGroup: the menu never needs updating
        g_variant_get(parameters, "(ai)", &ids);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(@ai@ai)", g_variant_new("ai", nullptr),
                                                                        unknown_ids(ids, false)));
    }
}

GVariant* get_property(GDBusConnection*, const char*, const char*, const char*, const char* name, GError**,
                       gpointer)
{
    if (strcmp(name, "Version") == 0) {
        return g_variant_new_uint32(3);
    }
    if (strcmp(name, "IconThemePath") == 0) {
        return g_variant_new_strv(nullptr, 0);
    }
    return g_variant_new_string(strcmp(name, "TextDirection") == 0 ? "ltr" : "normal");
}

const GDBusInterfaceVTable menu_vtable = {call_method, get_property, nullptr, {}};
}  // namespace

bool export_tray_menu(GDBusConnection* bus)
{
    return export_object(bus, menu_path, menu_xml, &menu_vtable);
}

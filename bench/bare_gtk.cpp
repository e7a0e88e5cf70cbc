// The yardstick of bench/tray_bench.sh: the least a tray program on these desktops
// holds, GTK 3 and a session-bus connection, with no window.
#include <gtk/gtk.h>

int main(int argc, char** argv)
{
    if (!gtk_init_check(&argc, &argv)) {
        return 1;
    }
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr) {
        return 1;
    }
    gtk_main();
    return 0;
}

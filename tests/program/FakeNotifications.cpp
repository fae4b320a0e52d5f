// A stand-in for the desktop's notification service on the session bus: it
// owns org.freedesktop.Notifications, answers as a server would and writes
// each notification's summary and body as a line "SUMMARY|BODY" to standard
// output. It prints "ready" once it owns the name.

#include <gio/gio.h>

#include <cstdio>

namespace {

const char* kInterface = R"(<node><interface name="org.freedesktop.Notifications">
<method name="Notify"><arg type="s" direction="in"/><arg type="u" direction="in"/>
<arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="s" direction="in"/>
<arg type="as" direction="in"/><arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
<arg type="u" direction="out"/></method>
<method name="CloseNotification"><arg type="u" direction="in"/></method>
<method name="GetCapabilities"><arg type="as" direction="out"/></method>
<method name="GetServerInformation"><arg type="s" direction="out"/><arg type="s" direction="out"/>
<arg type="s" direction="out"/><arg type="s" direction="out"/></method>
</interface></node>)";

guint32 shown = 0;

void onCall(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method,
            GVariant* parameters, GDBusMethodInvocation* invocation, gpointer) {
    if (g_strcmp0(method, "Notify") == 0) {
        const gchar *summary = nullptr, *body = nullptr;
        g_variant_get_child(parameters, 3, "&s", &summary);
        g_variant_get_child(parameters, 4, "&s", &body);
        std::printf("%s|%s\n", summary, body);
        std::fflush(stdout);
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", ++shown));
    } else if (g_strcmp0(method, "GetCapabilities") == 0) {
        const gchar* caps[] = {"body", "actions", nullptr};
        g_dbus_method_invocation_return_value(invocation, g_variant_new("(^as)", caps));
    } else if (g_strcmp0(method, "GetServerInformation") == 0) {
        g_dbus_method_invocation_return_value(invocation,
                                              g_variant_new("(ssss)", "fake", "test", "1", "1.2"));
    } else {
        g_dbus_method_invocation_return_value(invocation, nullptr);
    }
}

void onBus(GDBusConnection* connection, const gchar*, gpointer data) {
    static const GDBusInterfaceVTable vtable = {onCall, nullptr, nullptr, {}};
    auto* info = static_cast<GDBusNodeInfo*>(data);
    g_dbus_connection_register_object(connection, "/org/freedesktop/Notifications",
                                      info->interfaces[0], &vtable, nullptr, nullptr, nullptr);
}

}  // namespace

int main() {
    GDBusNodeInfo* info = g_dbus_node_info_new_for_xml(kInterface, nullptr);
    g_bus_own_name(
        G_BUS_TYPE_SESSION, "org.freedesktop.Notifications", G_BUS_NAME_OWNER_FLAGS_NONE, onBus,
        [](GDBusConnection*, const gchar*, gpointer) {
            std::printf("ready\n");
            std::fflush(stdout);
        },
        [](GDBusConnection*, const gchar*, gpointer) {
            std::fprintf(stderr, "fake notifications: the name was not given\n");
            std::exit(1);
        },
        info, nullptr);
    g_autoptr(GMainLoop) loop = g_main_loop_new(nullptr, FALSE);
    g_main_loop_run(loop);
}

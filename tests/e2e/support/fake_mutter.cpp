// Test tool: GNOME's idle monitor and session manager as the idle mode asks them, on the session
// bus in $DBUS_SESSION_BUS_ADDRESS. Each call it gets is a line on standard output; lines on
// standard input drive it: "idle" (the idle watch fires), "active" (the user-active watch
// fires), "inhibit" / "release" (an idle inhibitor held or let go), "leave" (off the bus).
#include <gio/gio.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

const char kXml[] =
    "<node>"
    " <interface name='org.gnome.Mutter.IdleMonitor'>"
    "  <method name='GetIdletime'><arg type='t' direction='out'/></method>"
    "  <method name='AddIdleWatch'><arg type='t' direction='in'/><arg type='u' direction='out'/></method>"
    "  <method name='AddUserActiveWatch'><arg type='u' direction='out'/></method>"
    "  <method name='RemoveWatch'><arg type='u' direction='in'/></method>"
    "  <signal name='WatchFired'><arg type='u'/></signal>"
    " </interface>"
    " <interface name='org.gnome.SessionManager'>"
    "  <method name='IsInhibited'><arg type='u' direction='in'/><arg type='b' direction='out'/></method>"
    " </interface>"
    "</node>";
const char kMonitorPath[] = "/org/gnome/Mutter/IdleMonitor/Core";

GDBusConnection* bus = nullptr;
GMainLoop* loop = nullptr;
guint monitorName = 0;
guint32 nextId = 1, idleWatch = 0, activeWatch = 0;
guint64 interval = 0, idleTime = 0;
bool inhibited = false;
std::string pending;

void say(const char* line) {
  std::printf("%s\n", line);
  std::fflush(stdout);
}

void call(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* method, GVariant* args,
          GDBusMethodInvocation* invocation, gpointer) {
  char line[128];
  if (std::strcmp(method, "GetIdletime") == 0) {
    say("GetIdletime");
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(t)", idleTime));
  } else if (std::strcmp(method, "AddIdleWatch") == 0) {
    g_variant_get(args, "(t)", &interval);
    idleWatch = nextId++;
    std::snprintf(line, sizeof line, "AddIdleWatch %llu", (unsigned long long)interval);
    say(line);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", idleWatch));
  } else if (std::strcmp(method, "AddUserActiveWatch") == 0) {
    activeWatch = nextId++;
    say("AddUserActiveWatch");
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(u)", activeWatch));
  } else if (std::strcmp(method, "RemoveWatch") == 0) {
    guint32 id = 0;
    g_variant_get(args, "(u)", &id);
    std::snprintf(line, sizeof line, "RemoveWatch %s", id == idleWatch ? "idle" : id == activeWatch ? "active" : "other");
    say(line);
    g_dbus_method_invocation_return_value(invocation, nullptr);
  } else if (std::strcmp(method, "IsInhibited") == 0) {
    guint32 flags = 0;
    g_variant_get(args, "(u)", &flags);
    std::snprintf(line, sizeof line, "IsInhibited %u", flags);
    say(line);
    g_dbus_method_invocation_return_value(invocation, g_variant_new("(b)", inhibited && (flags & 8)));
  }
}
const GDBusInterfaceVTable kVtable = {call, nullptr, nullptr, {}};

void fire(guint32 id) {
  g_dbus_connection_emit_signal(bus, nullptr, kMonitorPath, "org.gnome.Mutter.IdleMonitor", "WatchFired",
                                g_variant_new("(u)", id), nullptr);
  g_dbus_connection_flush_sync(bus, nullptr, nullptr);
}

void command(const std::string& word) {
  if (word == "idle") {
    idleTime = interval;
    fire(idleWatch);
  } else if (word == "active") {
    idleTime = 0;
    if (activeWatch) fire(activeWatch);
    activeWatch = 0;  // fires once, as Mutter's does
  } else if (word == "inhibit" || word == "release") {
    inhibited = word == "inhibit";
  } else if (word == "leave") {
    g_bus_unown_name(monitorName);
    g_dbus_connection_flush_sync(bus, nullptr, nullptr);
  }
  say(("done " + word).c_str());
}

gboolean input(gint fd, GIOCondition, gpointer) {
  char buffer[256];
  const ssize_t n = read(fd, buffer, sizeof buffer);
  if (n <= 0) {
    g_main_loop_quit(loop);
    return G_SOURCE_REMOVE;
  }
  pending.append(buffer, std::size_t(n));
  for (std::size_t end; (end = pending.find('\n')) != std::string::npos; pending.erase(0, end + 1)) {
    command(pending.substr(0, end));
  }
  return G_SOURCE_CONTINUE;
}

void acquired(GDBusConnection*, const gchar* name, gpointer) { say((std::string("owned ") + name).c_str()); }

}  // namespace

int main() {
  GError* error = nullptr;
  bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) return 1;
  GDBusNodeInfo* node = g_dbus_node_info_new_for_xml(kXml, &error);
  if (!node) return 1;
  g_dbus_connection_register_object(bus, kMonitorPath, node->interfaces[0], &kVtable, nullptr, nullptr, nullptr);
  g_dbus_connection_register_object(bus, "/org/gnome/SessionManager", node->interfaces[1], &kVtable, nullptr, nullptr,
                                    nullptr);
  monitorName = g_bus_own_name_on_connection(bus, "org.gnome.Mutter.IdleMonitor", G_BUS_NAME_OWNER_FLAGS_NONE,
                                             acquired, nullptr, nullptr, nullptr);
  g_bus_own_name_on_connection(bus, "org.gnome.SessionManager", G_BUS_NAME_OWNER_FLAGS_NONE, acquired, nullptr,
                               nullptr, nullptr);
  loop = g_main_loop_new(nullptr, FALSE);
  g_unix_fd_add(0, G_IO_IN, input, nullptr);
  g_main_loop_run(loop);
  return 0;
}

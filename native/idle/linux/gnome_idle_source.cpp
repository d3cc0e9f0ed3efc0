// Idle source over GNOME's idle monitor (org.gnome.Mutter.IdleMonitor), through GDBus.
//  [x] AddIdleWatch / AddUserActiveWatch / RemoveWatch, WatchFired; GetIdletime at the start
//  [x] org.gnome.SessionManager IsInhibited (idle) before each run
//  [x] the monitor leaving the bus, or the bus closing: the source is gone
#include "gnome_idle_source.h"

#include <gio/gio.h>
#include <glib-unix.h>

#include <sys/stat.h>

#include <cstdlib>
#include <deque>
#include <string>

#include "gnome_idle.h"
#include "stop_signals.h"

namespace {

const char kMonitorName[] = "org.gnome.Mutter.IdleMonitor";
const char kMonitorPath[] = "/org/gnome/Mutter/IdleMonitor/Core";
const int kCallTimeout = 2000;  // milliseconds: an answer later than that is none

class GnomeIdleSource : public IdleSource, public MutterIdleBus {
 public:
  GnomeIdleSource(GDBusConnection* bus, std::uint64_t milliseconds) : bus_(bus), watches_(*this, milliseconds) {}
  ~GnomeIdleSource() override;
  bool open(std::string& note);
  Event wait(int timeoutMilliseconds) override;
  bool mayStart() override { return watches_.mayStart(); }
  std::string name() const override { return "GNOME's idle monitor"; }
  std::string reason() const override { return reason_; }

  std::uint32_t addIdleWatch(std::uint64_t milliseconds) override {
    return watchId(call(kMonitorName, kMonitorPath, kMonitorName, "AddIdleWatch", g_variant_new("(t)", milliseconds)));
  }
  std::uint32_t addUserActiveWatch() override {
    return watchId(call(kMonitorName, kMonitorPath, kMonitorName, "AddUserActiveWatch", nullptr));
  }
  void removeWatch(std::uint32_t id) override {
    if (GVariant* r = call(kMonitorName, kMonitorPath, kMonitorName, "RemoveWatch", g_variant_new("(u)", id))) {
      g_variant_unref(r);
    }
  }
  bool idleTime(std::uint64_t& milliseconds) override;
  bool isInhibited(std::uint32_t flags) override;

  void onFired(std::uint32_t id) {
    const Event event = watches_.fired(id);
    if (event == Event::gone) onGone("it refused to watch for the user's return");
    events_.push_back(event);
  }
  void onGone(const char* why) {
    if (reason_.empty()) reason_ = why;
  }

 private:
  GVariant* call(const char* name, const char* path, const char* interface, const char* method, GVariant* args);
  static std::uint32_t watchId(GVariant* reply);

  GDBusConnection* bus_;
  GnomeIdleWatches watches_;
  std::deque<Event> events_;
  std::string reason_;
  guint subscription_ = 0;
  guint nameWatch_ = 0;
  gulong closedHandler_ = 0;
};

GVariant* GnomeIdleSource::call(const char* name, const char* path, const char* interface, const char* method,
                                GVariant* args) {
  GError* error = nullptr;
  GVariant* reply = g_dbus_connection_call_sync(bus_, name, path, interface, method, args, nullptr,
                                                G_DBUS_CALL_FLAGS_NO_AUTO_START, kCallTimeout, nullptr, &error);
  if (error) g_error_free(error);
  return reply;
}

std::uint32_t GnomeIdleSource::watchId(GVariant* reply) {
  guint32 id = 0;
  if (reply && g_variant_is_of_type(reply, G_VARIANT_TYPE("(u)"))) g_variant_get(reply, "(u)", &id);
  if (reply) g_variant_unref(reply);
  return id;
}

bool GnomeIdleSource::idleTime(std::uint64_t& milliseconds) {
  GVariant* reply = call(kMonitorName, kMonitorPath, kMonitorName, "GetIdletime", nullptr);
  const bool ok = reply && g_variant_is_of_type(reply, G_VARIANT_TYPE("(t)"));
  if (ok) {
    guint64 value = 0;
    g_variant_get(reply, "(t)", &value);
    milliseconds = value;
  }
  if (reply) g_variant_unref(reply);
  return ok;
}

bool GnomeIdleSource::isInhibited(std::uint32_t flags) {
  GVariant* reply = call("org.gnome.SessionManager", "/org/gnome/SessionManager", "org.gnome.SessionManager",
                         "IsInhibited", g_variant_new("(u)", flags));
  gboolean inhibited = FALSE;
  if (reply && g_variant_is_of_type(reply, G_VARIANT_TYPE("(b)"))) g_variant_get(reply, "(b)", &inhibited);
  if (reply) g_variant_unref(reply);
  return inhibited;
}

void watchFired(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                gpointer data) {
  if (!g_variant_is_of_type(parameters, G_VARIANT_TYPE("(u)"))) return;
  guint32 id = 0;
  g_variant_get(parameters, "(u)", &id);
  static_cast<GnomeIdleSource*>(data)->onFired(id);
}

void monitorVanished(GDBusConnection*, const gchar*, gpointer data) {
  static_cast<GnomeIdleSource*>(data)->onGone("it left the session bus");
}

void busClosed(GDBusConnection*, gboolean, GError*, gpointer data) {
  static_cast<GnomeIdleSource*>(data)->onGone("the session bus closed");
}

bool GnomeIdleSource::open(std::string& note) {
  // The shared connection would end the whole program when the bus closes.
  g_dbus_connection_set_exit_on_close(bus_, FALSE);
  GVariant* owner = call("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
                         g_variant_new("(s)", kMonitorName));
  gboolean owned = FALSE;
  if (owner) {
    g_variant_get(owner, "(b)", &owned);
    g_variant_unref(owner);
  }
  if (!owned) {
    note = "GNOME's idle monitor is not on the session bus";
    return false;
  }
  subscription_ = g_dbus_connection_signal_subscribe(bus_, kMonitorName, kMonitorName, "WatchFired", kMonitorPath,
                                                     nullptr, G_DBUS_SIGNAL_FLAGS_NONE, watchFired, this, nullptr);
  nameWatch_ = g_bus_watch_name_on_connection(bus_, kMonitorName, G_BUS_NAME_WATCHER_FLAGS_NONE, nullptr,
                                              monitorVanished, this, nullptr);
  closedHandler_ = g_signal_connect(bus_, "closed", G_CALLBACK(busClosed), this);
  Event initial = Event::none;
  if (!watches_.start(initial)) {
    note = "GNOME's idle monitor refused a watch";
    return false;
  }
  if (initial != Event::none) events_.push_back(initial);
  return true;
}

gboolean flagUp(gpointer data) {
  *static_cast<bool*>(data) = true;
  return G_SOURCE_REMOVE;
}

gboolean stopReadable(gint, GIOCondition, gpointer data) {
  *static_cast<bool*>(data) = true;
  return G_SOURCE_CONTINUE;
}

IdleSource::Event GnomeIdleSource::wait(int timeoutMilliseconds) {
  bool timedOut = false, stopped = false;
  const guint timer = g_timeout_add(guint(timeoutMilliseconds < 0 ? 0 : timeoutMilliseconds), flagUp, &timedOut);
  const guint stopWatch = g_unix_fd_add(stopsignals::wakeDescriptor(), G_IO_IN, stopReadable, &stopped);
  while (events_.empty() && reason_.empty() && !timedOut && !stopped && !stopsignals::requested()) {
    g_main_context_iteration(nullptr, TRUE);
  }
  if (!timedOut) g_source_remove(timer);
  g_source_remove(stopWatch);
  while (!events_.empty()) {
    const Event event = events_.front();
    events_.pop_front();
    if (event != Event::none) return event;
  }
  return reason_.empty() ? Event::none : Event::gone;
}

GnomeIdleSource::~GnomeIdleSource() {
  if (reason_.empty()) watches_.stop();
  if (subscription_) g_dbus_connection_signal_unsubscribe(bus_, subscription_);
  if (nameWatch_) g_bus_unwatch_name(nameWatch_);
  if (closedHandler_) g_signal_handler_disconnect(bus_, closedHandler_);
  g_object_unref(bus_);
}

// A session bus to ask: named in the environment, or the user's socket. GDBus would otherwise
// start a bus of its own through X11 to have one.
bool sessionBusOffered() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  struct stat info;
  return runtime && *runtime && stat((std::string(runtime) + "/bus").c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

}  // namespace

std::unique_ptr<IdleSource> openGnomeIdleSource(std::uint64_t milliseconds, std::string& note) {
  if (!sessionBusOffered()) {
    note = "there is no session bus for GNOME's idle monitor";
    return nullptr;
  }
  GError* error = nullptr;
  GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
  if (!bus) {
    note = "the session bus cannot be reached";
    if (error) g_error_free(error);
    return nullptr;
  }
  auto source = std::make_unique<GnomeIdleSource>(bus, milliseconds);
  if (!source->open(note)) return nullptr;
  return source;
}

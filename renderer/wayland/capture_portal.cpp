#include "capture_portal.h"

#include <gio/gio.h>
#include <glib-unix.h>
#include <unistd.h>

#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "portal_host.h"
#include "stop_signals.h"

namespace {

constexpr char kPortal[] = "org.freedesktop.portal.Desktop";
constexpr char kPortalPath[] = "/org/freedesktop/portal/desktop";
constexpr char kStore[] = "org.freedesktop.impl.portal.PermissionStore";
constexpr char kStorePath[] = "/org/freedesktop/impl/portal/PermissionStore";
constexpr char kOption[] = "--ask-screenshot-permission";

// One wait on our own main context: for a reply, a signal, the deadline or a stop request.
struct Session {
  GMainContext* context = g_main_context_new();
  GDBusConnection* bus = nullptr;
  bool stopped = false;
  bool late = false;
  // The current wait's outcome.
  bool done = false;
  GVariant* reply = nullptr;
  GError* error = nullptr;
  GVariant* response = nullptr;  // the request's Response signal

  ~Session() {
    reset();
    if (response) g_variant_unref(response);
    if (bus) g_object_unref(bus);
    g_main_context_unref(context);
  }
  void reset() {
    done = false;
    if (reply) g_variant_unref(reply);
    if (error) g_error_free(error);
    reply = nullptr;
    error = nullptr;
  }
  // False when the deadline or a stop request came first.
  bool wait() {
    while (!done && !stopped && !late) g_main_context_iteration(context, TRUE);
    return done;
  }
};

gboolean onStop(gint, GIOCondition, gpointer data) {
  static_cast<Session*>(data)->stopped = true;
  return G_SOURCE_REMOVE;
}
gboolean onLate(gpointer data) {
  static_cast<Session*>(data)->late = true;
  return G_SOURCE_REMOVE;
}
void onConnected(GObject*, GAsyncResult* result, gpointer data) {
  auto* s = static_cast<Session*>(data);
  s->bus = g_dbus_connection_new_for_address_finish(result, &s->error);
  s->done = true;
}
void onReply(GObject* source, GAsyncResult* result, gpointer data) {
  auto* s = static_cast<Session*>(data);
  s->reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &s->error);
  s->done = true;
}
void onResponse(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar*, GVariant* parameters,
                gpointer data) {
  auto* s = static_cast<Session*>(data);
  if (!s->response && g_variant_is_of_type(parameters, G_VARIANT_TYPE("(ua{sv})"))) {
    s->response = g_variant_ref(parameters);
  }
}

// The portal's Response on `handle` (sent to us alone; the rule names the portal as sender).
guint listen(Session& s, const std::string& handle) {
  return g_dbus_connection_signal_subscribe(s.bus, kPortal, "org.freedesktop.portal.Request", "Response",
                                            handle.c_str(), nullptr, G_DBUS_SIGNAL_FLAGS_NONE, onResponse, &s,
                                            nullptr);
}

// A method call and its reply; nullptr when it failed or the wait ended first.
GVariant* call(Session& s, const char* name, const char* path, const char* interface, const char* method,
               GVariant* parameters, const char* replyType) {
  s.reset();
  g_dbus_connection_call(s.bus, name, path, interface, method, parameters, G_VARIANT_TYPE(replyType),
                         G_DBUS_CALL_FLAGS_NONE, -1, nullptr, onReply, &s);
  if (!s.wait() || !s.reply) return nullptr;
  GVariant* reply = s.reply;
  s.reply = nullptr;
  return reply;
}

enum class Grant { yes, no, unset };

// The screenshot permission as xdg-desktop-portal reads it: table "screenshot", id
// "screenshot", the first word stored for our app id.
Grant storedGrant(Session& s) {
  GVariant* found = call(s, kStore, kStorePath, kStore, "Lookup", g_variant_new("(ss)", "screenshot", "screenshot"),
                         "(a{sas}v)");
  if (!found) return Grant::unset;  // no table yet: nothing stored
  Grant grant = Grant::unset;
  GVariant* apps = g_variant_get_child_value(found, 0);
  const gchar** words = nullptr;
  if (g_variant_lookup(apps, portalAppId(), "^a&s", &words) && words && words[0]) {
    grant = g_str_equal(words[0], "yes") ? Grant::yes : g_str_equal(words[0], "no") ? Grant::no : Grant::unset;
  }
  g_free(words);
  g_variant_unref(apps);
  g_variant_unref(found);
  return grant;
}

PortalShot shoot(Session& s, bool mayAsk, PortalPicture& picture) {
  const std::string address = sessionBusAddress();
  if (address.empty()) return PortalShot::noPortal;
  const auto flags = GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                          G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION);
  g_dbus_connection_new_for_address(address.c_str(), flags, nullptr, nullptr, onConnected, &s);
  if (!s.wait() || !s.bus) return s.stopped ? PortalShot::stopped : PortalShot::noPortal;
  // The portal itself, started by the bus where it is not running yet.
  GVariant* version = call(s, kPortal, kPortalPath, "org.freedesktop.DBus.Properties", "Get",
                           g_variant_new("(ss)", "org.freedesktop.portal.Screenshot", "version"), "(v)");
  if (!version) return s.stopped ? PortalShot::stopped : PortalShot::noPortal;
  g_variant_unref(version);

  const Grant grant = storedGrant(s);
  if (s.stopped) return PortalShot::stopped;
  if (grant == Grant::no) {
    std::fprintf(stderr, "glassfall: GNOME keeps the answer 'no' to taking screenshots: the pieces show untextured\n");
    return PortalShot::refused;
  }
  if (grant == Grant::unset && !mayAsk) {
    std::fprintf(stderr, "glassfall: the desktop's picture needs GNOME's permission, asked once by "
                         "'glassfall %s': the pieces show untextured\n", kOption);
    return PortalShot::notGranted;
  }

  // The request's path is known before the call, so its answer cannot come before we listen.
  std::string sender = g_dbus_connection_get_unique_name(s.bus) + 1;
  for (char& c : sender) c = c == '.' ? '_' : c;
  const std::string token = "glassfall" + std::to_string(getpid());
  std::string handle = std::string(kPortalPath) + "/request/" + sender + "/" + token;
  guint listening = listen(s, handle);
  const std::time_t asked = std::time(nullptr);
  GVariantBuilder options;
  g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
  g_variant_builder_add(&options, "{sv}", "handle_token", g_variant_new_string(token.c_str()));
  g_variant_builder_add(&options, "{sv}", "interactive", g_variant_new_boolean(FALSE));
  s.reset();
  g_dbus_connection_call(s.bus, kPortal, kPortalPath, "org.freedesktop.portal.Screenshot", "Screenshot",
                         g_variant_new("(sa{sv})", "", &options), G_VARIANT_TYPE("(o)"), G_DBUS_CALL_FLAGS_NONE, -1,
                         nullptr, onReply, &s);
  // The call's reply and the Response may come in either order; the Response is the answer.
  bool called = false;
  while (!s.stopped && !s.late && !s.response) {
    if (s.done && !called) {
      called = true;
      if (!s.reply) break;  // the call failed
      const gchar* path = nullptr;
      g_variant_get(s.reply, "(&o)", &path);
      if (handle != path) {  // a portal older than handle tokens
        handle = path;
        g_dbus_connection_signal_unsubscribe(s.bus, listening);
        listening = listen(s, handle);
      }
      continue;
    }
    g_main_context_iteration(s.context, TRUE);
  }
  g_dbus_connection_signal_unsubscribe(s.bus, listening);
  if (!s.response) {
    // Nobody waits for it any more. (xdg-desktop-portal 1.16 still keeps its own question on the
    // screen until the user answers it: only the backend's part of a request can be closed.)
    g_dbus_connection_call(s.bus, kPortal, handle.c_str(), "org.freedesktop.portal.Request", "Close", nullptr,
                           nullptr, G_DBUS_CALL_FLAGS_NONE, -1, nullptr, nullptr, nullptr);
    g_dbus_connection_flush_sync(s.bus, nullptr, nullptr);
    if (s.stopped) return PortalShot::stopped;
    std::fprintf(stderr, "glassfall: the screenshot portal %s: the pieces show untextured\n",
                 s.late ? "did not answer in time" : "failed");
    return PortalShot::failed;
  }
  guint32 response = 2;
  GVariant* results = nullptr;
  g_variant_get(s.response, "(u@a{sv})", &response, &results);
  const gchar* uri = nullptr;
  std::vector<unsigned char> bytes;
  const bool got = response == 0 && g_variant_lookup(results, "uri", "&s", &uri) && readShot(uri, asked, bytes);
  g_variant_unref(results);
  if (response != 0) {
    std::fprintf(stderr, "glassfall: GNOME did not allow the screenshot: the pieces show untextured\n");
    return PortalShot::refused;
  }
  if (!got || !decodePortalPng(bytes.data(), bytes.size(), picture)) {
    std::fprintf(stderr, "glassfall: the screenshot portal's picture cannot be read: the pieces show untextured\n");
    return PortalShot::failed;
  }
  return PortalShot::taken;
}

}  // namespace

PortalShot takePortalScreenshot(bool mayAsk, std::int64_t timeout, PortalPicture& picture) {
  picture.clear();
  if (stopsignals::requested()) return PortalShot::stopped;
  Session s;
  g_main_context_push_thread_default(s.context);
  // Without the stop pipe (its handlers not installed) only the time limit ends the wait.
  GSource* stop = nullptr;
  if (stopsignals::wakeDescriptor() >= 0) {
    stop = g_unix_fd_source_new(stopsignals::wakeDescriptor(), G_IO_IN);
    g_source_set_callback(stop, G_SOURCE_FUNC(onStop), &s, nullptr);
    g_source_attach(stop, s.context);
  }
  GSource* late = g_timeout_source_new(guint(timeout / 1000000));
  g_source_set_callback(late, onLate, &s, nullptr);
  g_source_attach(late, s.context);
  PortalShot shot = shoot(s, mayAsk, picture);
  if (stopsignals::requested()) shot = PortalShot::stopped;
  if (stop) {
    g_source_destroy(stop);
    g_source_unref(stop);
  }
  g_source_destroy(late);
  g_source_unref(late);
  g_main_context_pop_thread_default(s.context);
  return shot;
}

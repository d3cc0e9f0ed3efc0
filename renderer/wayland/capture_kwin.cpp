#include "capture_kwin.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <gio/gunixfdlist.h>
#include <glib-unix.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <algorithm>
#include <cstdlib>
#include <new>
#include <string>

#include "kwin_image.h"
#include "posix_clock.h"
#include "stop_signals.h"

namespace {

constexpr char kService[] = "org.kde.KWin";
constexpr char kPath[] = "/org/kde/KWin/ScreenShot2";
constexpr char kInterface[] = "org.kde.KWin.ScreenShot2";

int millisecondsLeft(std::int64_t deadline) {
  const std::int64_t left = deadline - monotonicNow();
  return left <= 0 ? 0 : int(left / 1000000) + 1;
}

// One asynchronous answer (a connection or a call's reply), waited for on our own context.
struct Pending {
  GObject* source = nullptr;
  GAsyncResult* result = nullptr;
  ~Pending() {
    if (result) g_object_unref(result);
  }
};
void keepResult(GObject* source, GAsyncResult* result, gpointer data) {
  auto* pending = static_cast<Pending*>(data);
  pending->source = source;
  pending->result = G_ASYNC_RESULT(g_object_ref(result));
}

// The sources that end one wait: they only wake the context, which then looks again.
gboolean wake(gpointer) { return G_SOURCE_REMOVE; }
gboolean wakeOnStop(gint, GIOCondition, gpointer) { return G_SOURCE_REMOVE; }

// The session bus, our calls and their answers on a context of our own, so that waiting for
// KWin also watches the stop request and the deadline.
class KwinSession {
 public:
  KwinSession() : context_(g_main_context_new()) { g_main_context_push_thread_default(context_); }
  ~KwinSession() {
    if (bus_) {
      g_dbus_connection_close(bus_, nullptr, nullptr, nullptr);  // never waits on a bus that hangs
      g_object_unref(bus_);
    }
    g_main_context_pop_thread_default(context_);
    g_main_context_unref(context_);
  }
  KwinSession(const KwinSession&) = delete;
  KwinSession& operator=(const KwinSession&) = delete;

  // False when the wait ran out or a stop came first. The answer may still come, but is never
  // looked at: every later wait shares the deadline and the stop, so none runs the context again.
  bool wait(Pending& pending, std::int64_t deadline) {
    while (!pending.result) {
      if (stopsignals::requested() || monotonicNow() >= deadline) return false;
      GSource* timer = g_timeout_source_new(guint(millisecondsLeft(deadline)));
      GSource* stop = g_unix_fd_source_new(stopsignals::wakeDescriptor(), G_IO_IN);
      g_source_set_callback(timer, wake, nullptr, nullptr);
      g_source_set_callback(stop, G_SOURCE_FUNC(wakeOnStop), nullptr, nullptr);
      for (GSource* s : {timer, stop}) g_source_attach(s, context_);
      g_main_context_iteration(context_, TRUE);
      for (GSource* s : {timer, stop}) {
        g_source_destroy(s);
        g_source_unref(s);
      }
    }
    return true;
  }

  bool connect(std::int64_t deadline) {
    // Without a bus address of its own GLib would try to start a bus through X11.
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string socket = runtime ? std::string(runtime) + "/bus" : std::string();
    if (!(address && address[0]) && (socket.empty() || access(socket.c_str(), F_OK) != 0)) return false;
    gchar* resolved = g_dbus_address_get_for_bus_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (!resolved) return false;
    Pending pending;
    g_dbus_connection_new_for_address(resolved, GDBusConnectionFlags(G_DBUS_CONNECTION_FLAGS_AUTHENTICATION_CLIENT |
                                                                     G_DBUS_CONNECTION_FLAGS_MESSAGE_BUS_CONNECTION),
                                      nullptr, nullptr, keepResult, &pending);
    g_free(resolved);
    if (!wait(pending, deadline)) return false;
    bus_ = g_dbus_connection_new_for_address_finish(pending.result, nullptr);
    return bus_ != nullptr;
  }

  // The call's answer (nullptr on an error, said in `error`, or no answer in time). `fd` goes
  // with it as its one descriptor.
  GVariant* call(const char* path, const char* interface, const char* method, GVariant* arguments, int fd,
                 std::int64_t deadline, std::string& error) {
    GUnixFDList* fds = fd >= 0 ? g_unix_fd_list_new_from_array(&fd, 1) : nullptr;  // takes `fd`
    Pending pending;
    g_dbus_connection_call_with_unix_fd_list(bus_, kService, path, interface, method, arguments, nullptr,
                                             G_DBUS_CALL_FLAGS_NO_AUTO_START, millisecondsLeft(deadline), fds,
                                             nullptr, keepResult, &pending);
    if (fds) g_object_unref(fds);  // our end is closed once the message holds its own copy
    if (!wait(pending, deadline)) return nullptr;
    GError* failure = nullptr;
    GVariant* reply = g_dbus_connection_call_with_unix_fd_list_finish(bus_, nullptr, pending.result, &failure);
    if (!reply) {
      gchar* remote = g_dbus_error_get_remote_error(failure);
      error = remote ? remote : failure->message;
      g_free(remote);
      g_error_free(failure);
    }
    return reply;
  }

 private:
  GMainContext* context_;
  GDBusConnection* bus_ = nullptr;
};

void readNumber(GVariant* map, const char* key, bool& have, std::uint64_t& value) {
  GVariant* v = g_variant_lookup_value(map, key, nullptr);
  if (!v) return;
  have = true;
  if (g_variant_is_of_type(v, G_VARIANT_TYPE_UINT32)) {
    value = g_variant_get_uint32(v);
  } else if (g_variant_is_of_type(v, G_VARIANT_TYPE_UINT64)) {
    value = g_variant_get_uint64(v);
  } else if (g_variant_is_of_type(v, G_VARIANT_TYPE_INT32) && g_variant_get_int32(v) >= 0) {
    value = std::uint64_t(g_variant_get_int32(v));
  } else {
    have = false;  // a number of another type, or negative: not a size
  }
  g_variant_unref(v);
}

KwinImageReply replyOf(GVariant* reply) {
  KwinImageReply r;
  GVariant* map = g_variant_get_child_value(reply, 0);
  if (!g_variant_is_of_type(map, G_VARIANT_TYPE_VARDICT)) {
    g_variant_unref(map);
    return r;
  }
  readNumber(map, "width", r.haveWidth, r.width);
  readNumber(map, "height", r.haveHeight, r.height);
  readNumber(map, "stride", r.haveStride, r.stride);
  readNumber(map, "format", r.haveFormat, r.format);
  const gchar* type = nullptr;
  if (g_variant_lookup(map, "type", "&s", &type)) {
    r.haveType = true;
    r.type = type;
  }
  g_variant_unref(map);
  return r;
}

// `bytes` from the pipe into `into`, or fewer when it ends first; never more than asked, and
// the buffer grows with what came, so a size that lies costs no memory it does not fill.
void readPipe(int fd, std::uint64_t bytes, std::int64_t deadline, std::vector<unsigned char>& into) {
  constexpr std::size_t kStep = std::size_t(16) << 20;
  into.clear();
  std::size_t got = 0;
  while (got < bytes && !stopsignals::requested()) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {stopsignals::wakeDescriptor(), POLLIN, 0}};
    const int ready = ::poll(fds, 2, millisecondsLeft(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0 || !(fds[0].revents & (POLLIN | POLLHUP | POLLERR))) break;
    if (into.size() == got) {
      try {
        into.resize(got + std::size_t(std::min<std::uint64_t>(kStep, bytes - got)));
      } catch (const std::bad_alloc&) {
        break;
      }
    }
    const ssize_t n = ::read(fd, into.data() + got, into.size() - got);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    got += std::size_t(n);
  }
  into.resize(got);
}

const bool kBigEndianHost = G_BYTE_ORDER == G_BIG_ENDIAN;

}  // namespace

bool captureThroughKwin(std::vector<std::unique_ptr<Output>>& outputs, std::int64_t deadline, const char* program) {
  KwinSession kwin;
  if (!kwin.connect(deadline)) return false;
  std::string error;
  GVariant* version = kwin.call(kPath, "org.freedesktop.DBus.Properties", "Get",
                                g_variant_new("(ss)", kInterface, "Version"), -1, deadline, error);
  if (!version) return false;  // no KWin, or one without the interface
  g_variant_unref(version);

  std::string said;
  for (auto& o : outputs) {
    if (o->stage != OutputStage::described) continue;
    o->stage = OutputStage::captured;  // with pixels or without, this is its one try
    if (o->connector.empty() || said == "refused") continue;
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) break;
    GVariantBuilder options;
    g_variant_builder_init(&options, G_VARIANT_TYPE_VARDICT);
    g_variant_builder_add(&options, "{sv}", "native-resolution", g_variant_new_boolean(TRUE));
    GVariant* reply = kwin.call(kPath, kInterface, "CaptureScreen",
                                g_variant_new("(sa{sv}h)", o->connector.c_str(), &options, 0), ends[1], deadline,
                                error);
    std::string why;
    if (reply) {
      const KwinImageReply shape = replyOf(reply);
      g_variant_unref(reply);
      const std::uint64_t bytes = kwinImageBytes(shape, kBigEndianHost, why);
      if (bytes > 0) readPipe(ends[0], bytes, deadline, o->copied);
      if (bytes == 0 || !kwinCapture(shape, kBigEndianHost, o->copied.data(), o->copied.size(), o->captured, why)) {
        o->copied.clear();
      }
    } else if (error == "org.kde.KWin.ScreenShot2.Error.NoAuthorized") {
      why = "refused";
    } else if (!stopsignals::requested()) {
      why = error.empty() ? "no answer in time" : error;
    }
    ::close(ends[0]);
    if (stopsignals::requested()) break;
    if (why.empty() || !said.empty()) continue;
    said = why;
    if (why == "refused") {
      std::fprintf(stderr, "%s: KWin does not let this program take screenshots (it must be the one the installed "
                   "glassfall.desktop names): the pieces show untextured\n", program);
    } else {
      std::fprintf(stderr, "%s: KWin gave no picture of %s: %s\n", program, o->connector.c_str(), why.c_str());
    }
  }
  for (auto& o : outputs) {
    if (o->stage == OutputStage::capturing) o->stage = OutputStage::captured;
  }
  return true;
}

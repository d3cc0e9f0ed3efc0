// Idle source over a Wayland compositor's idle protocol.
//  [x] ext_idle_notifier_v1 get_idle_notification (honours idle inhibitors), first choice
//  [x] org_kde_kwin_idle get_idle_timeout, where the other is not offered
//  [x] the compositor gone or a protocol error: the source is gone, with the reason
//  [ ] a seat that goes away and comes back (the first seat is watched for the whole run)
#include "wayland_idle_source.h"

#include <wayland-client.h>

#include <cerrno>
#include <cstring>
#include <deque>

#include "ext-idle-notify-v1-client-protocol.h"
#include "idle-client-protocol.h"
#include "posix_clock.h"
#include "stop_signals.h"
#include "wayland_dispatch.h"

namespace {

// A compositor that has not listed its globals by then will not.
constexpr std::int64_t kAnswerTimeout = 5 * kNanosecondsPerSecond;

class WaylandIdleSource : public IdleSource {
 public:
  ~WaylandIdleSource() override;
  bool open(std::uint32_t milliseconds, std::string& note);
  Event wait(int timeoutMilliseconds) override;
  std::string name() const override { return notifier_ ? "ext-idle-notify" : "KDE's idle protocol"; }
  std::string reason() const override { return reason_; }

  void onGlobal(wl_registry* registry, std::uint32_t name, const char* interface);
  void push(Event event) { events_.push_back(event); }

 private:
  // Reads and handles what came within the timeout; false once the connection is over.
  bool dispatch(int timeoutMilliseconds);

  wl_display* display_ = nullptr;
  wl_registry* registry_ = nullptr;
  wl_seat* seat_ = nullptr;
  ext_idle_notifier_v1* notifier_ = nullptr;
  ext_idle_notification_v1* notification_ = nullptr;
  org_kde_kwin_idle* kdeIdle_ = nullptr;
  org_kde_kwin_idle_timeout* kdeTimeout_ = nullptr;
  std::deque<Event> events_;
  bool ended_ = false;
  std::string reason_;
};

void registryGlobal(void* data, wl_registry* registry, std::uint32_t name, const char* interface, std::uint32_t) {
  static_cast<WaylandIdleSource*>(data)->onGlobal(registry, name, interface);
}
void registryGlobalRemove(void*, wl_registry*, std::uint32_t) {}
const wl_registry_listener kRegistryListener = {registryGlobal, registryGlobalRemove};

void syncDone(void* data, wl_callback*, std::uint32_t) { *static_cast<bool*>(data) = true; }
const wl_callback_listener kSyncListener = {syncDone};

WaylandIdleSource* sourceOf(void* data) { return static_cast<WaylandIdleSource*>(data); }
const ext_idle_notification_v1_listener kNotificationListener = {
    [](void* data, ext_idle_notification_v1*) { sourceOf(data)->push(IdleSource::Event::idle); },
    [](void* data, ext_idle_notification_v1*) { sourceOf(data)->push(IdleSource::Event::active); }};
const org_kde_kwin_idle_timeout_listener kKdeTimeoutListener = {
    [](void* data, org_kde_kwin_idle_timeout*) { sourceOf(data)->push(IdleSource::Event::idle); },
    [](void* data, org_kde_kwin_idle_timeout*) { sourceOf(data)->push(IdleSource::Event::active); }};

void WaylandIdleSource::onGlobal(wl_registry* registry, std::uint32_t name, const char* interface) {
  if (std::strcmp(interface, wl_seat_interface.name) == 0 && !seat_) {
    seat_ = static_cast<wl_seat*>(wl_registry_bind(registry, name, &wl_seat_interface, 1));
  } else if (std::strcmp(interface, ext_idle_notifier_v1_interface.name) == 0 && !notifier_) {
    notifier_ = static_cast<ext_idle_notifier_v1*>(wl_registry_bind(registry, name, &ext_idle_notifier_v1_interface, 1));
  } else if (std::strcmp(interface, org_kde_kwin_idle_interface.name) == 0 && !kdeIdle_) {
    kdeIdle_ = static_cast<org_kde_kwin_idle*>(wl_registry_bind(registry, name, &org_kde_kwin_idle_interface, 1));
  }
}

bool WaylandIdleSource::open(std::uint32_t milliseconds, std::string& note) {
  display_ = wl_display_connect(nullptr);
  if (!display_) {
    note = "cannot connect to the Wayland compositor";
    return false;
  }
  registry_ = wl_display_get_registry(display_);
  wl_registry_add_listener(registry_, &kRegistryListener, this);
  bool listed = false;
  wl_callback* callback = wl_display_sync(display_);
  wl_callback_add_listener(callback, &kSyncListener, &listed);
  const std::int64_t deadline = monotonicNow() + kAnswerTimeout;
  while (!listed && !stopsignals::requested()) {
    const std::int64_t left = deadline - monotonicNow();
    if (left <= 0 || !dispatch(int(left / 1000000) + 1)) break;
  }
  wl_callback_destroy(callback);
  if (!listed) {
    note = stopsignals::requested() ? "" : ended_ ? reason_ : "the Wayland compositor did not answer";
    return false;
  }
  if (!seat_ || (!notifier_ && !kdeIdle_)) {
    note = seat_ ? "the compositor offers no idle protocol" : "the compositor offers no seat";
    return false;
  }
  if (notifier_) {
    notification_ = ext_idle_notifier_v1_get_idle_notification(notifier_, milliseconds, seat_);
    ext_idle_notification_v1_add_listener(notification_, &kNotificationListener, this);
  } else {
    kdeTimeout_ = org_kde_kwin_idle_get_idle_timeout(kdeIdle_, seat_, milliseconds);
    org_kde_kwin_idle_timeout_add_listener(kdeTimeout_, &kKdeTimeoutListener, this);
  }
  wl_display_flush(display_);
  return true;
}

bool WaylandIdleSource::dispatch(int timeoutMilliseconds) {
  if (ended_) return false;
  auto broken = [this] {
    ended_ = true;
    const int error = wl_display_get_error(display_);
    reason_ = (error == 0 || error == EPIPE || error == ECONNRESET) ? "the Wayland compositor went away"
                                                                     : std::string("Wayland error: ") + std::strerror(error);
    return false;
  };
  return dispatchOnce(display_, timeoutMilliseconds) || broken();
}

IdleSource::Event WaylandIdleSource::wait(int timeoutMilliseconds) {
  const std::int64_t deadline = monotonicNow() + std::int64_t(timeoutMilliseconds) * 1000000;
  while (events_.empty() && !stopsignals::requested()) {
    const std::int64_t left = deadline - monotonicNow();
    if (!dispatch(left <= 0 ? 0 : int(left / 1000000) + 1)) return Event::gone;
    if (left <= 0) break;
  }
  if (events_.empty()) return Event::none;
  const Event event = events_.front();
  events_.pop_front();
  return event;
}

WaylandIdleSource::~WaylandIdleSource() {
  if (notification_) ext_idle_notification_v1_destroy(notification_);
  if (notifier_) ext_idle_notifier_v1_destroy(notifier_);
  if (kdeTimeout_) org_kde_kwin_idle_timeout_release(kdeTimeout_);
  if (kdeIdle_) org_kde_kwin_idle_destroy(kdeIdle_);
  if (seat_) wl_seat_destroy(seat_);
  if (registry_) wl_registry_destroy(registry_);
  if (display_) {
    if (!ended_) wl_display_flush(display_);
    wl_display_disconnect(display_);
  }
}

}  // namespace

std::unique_ptr<IdleSource> openWaylandIdleSource(std::uint32_t milliseconds, std::string& note) {
  auto source = std::make_unique<WaylandIdleSource>();
  if (!source->open(milliseconds, note)) return nullptr;
  return source;
}

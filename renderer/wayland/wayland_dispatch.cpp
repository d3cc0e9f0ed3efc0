#include "wayland_dispatch.h"

#include <poll.h>
#include <wayland-client.h>

#include <cerrno>

#include "stop_signals.h"

bool dispatchOnce(wl_display* display, int timeoutMilliseconds) {
  while (wl_display_prepare_read(display) != 0) {
    if (wl_display_dispatch_pending(display) < 0) return false;
  }
  if (wl_display_flush(display) < 0 && errno != EAGAIN) {
    wl_display_cancel_read(display);
    return false;
  }
  pollfd fds[2] = {{wl_display_get_fd(display), POLLIN, 0}, {stopsignals::wakeDescriptor(), POLLIN, 0}};
  const int ready = ::poll(fds, 2, timeoutMilliseconds < 0 ? 0 : timeoutMilliseconds);
  if (ready > 0 && (fds[0].revents & (POLLIN | POLLHUP | POLLERR))) {
    if (wl_display_read_events(display) < 0) return false;
  } else {
    wl_display_cancel_read(display);
  }
  return wl_display_dispatch_pending(display) >= 0;
}

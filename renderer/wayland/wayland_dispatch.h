// One turn of a Wayland client's event loop, shared by the overlay and the idle mode: what is
// queued is dispatched, the requests flushed, then the connection is waited on (and the stop
// signals' wake descriptor, so a stop request ends the wait at once) and what came dispatched.
#pragma once

struct wl_display;

// At most `timeoutMilliseconds` (0: no wait). False when the connection broke; the caller
// reads wl_display_get_error for why.
bool dispatchOnce(wl_display* display, int timeoutMilliseconds);

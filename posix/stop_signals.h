// SIGTERM and SIGINT as a request to stop: the handler only records it and wakes the loop
// through a pipe, so the loop takes the normal way out (context released, helper reaped).
// A second one while the first is pending ends the process at once, as the signal would.
#pragma once

namespace stopsignals {

// Installs the handlers once; false when the pipe or a handler cannot be set up.
bool install();

bool requested();

// Becomes readable when a stop is requested: poll it beside the X connection.
int wakeDescriptor();

// Forgets a request (after the handlers were installed), for tests that raise signals.
void clearForTest();

}  // namespace stopsignals

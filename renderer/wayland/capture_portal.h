// The desktop's picture through the desktop portal's Screenshot (GNOME, whose compositor offers
// no capture protocol), over the session bus with GIO's GDBus.
//  [x] only where the user's grant is stored already: the permission store is read first, and
//      without a grant nothing is asked of the portal (no dialog on an idle start)
//  [x] asked for (--ask-screenshot-permission): the portal may show its one dialog, and then
//      stores the answer itself
//  [x] bounded in time; a stop request ends the wait at once (the pending request closed)
//  [x] the portal's file read, then removed when it is the one made for us
//  [ ] the portal's Screencast (a stream, and a dialog every time without restore tokens)
#pragma once

#include <cstdint>

#include "portal_picture.h"

enum class PortalShot {
  taken,       // `picture` holds the whole desktop
  noPortal,    // no session bus or no Screenshot portal on it
  notGranted,  // the grant is not stored and asking was not allowed
  refused,     // the user (or the stored answer) said no
  failed,      // the portal answered with no usable picture, or not in time
  stopped,     // a stop request came meanwhile
};

// One screenshot of the whole desktop, decoded. Waits at most `timeout` nanoseconds (the user's
// answer included when `mayAsk`). Says on stderr, in one line, why there is none, except for
// noPortal and stopped.
PortalShot takePortalScreenshot(bool mayAsk, std::int64_t timeout, PortalPicture& picture);

// The app id xdg-desktop-portal gives a program outside a sandbox: the one in the name of the
// systemd user unit it runs in (app-gnome-org.example.App-1234.scope), else "". The grant is
// stored under it.
const char* portalAppId();

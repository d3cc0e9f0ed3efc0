// The app id the screenshot portal files a program's permission under, read from the program's
// cgroup as xdg-desktop-portal 1.16 reads it: a grant stored under another id would let the
// portal ask again, on an idle start.
#include <gtest/gtest.h>

#include <string>

#include "portal_host.h"

namespace {

std::string inUnit(const std::string& unit) {
  return "0::/user.slice/user-1000.slice/user@1000.service/app.slice/" + unit + "\n";
}

}  // namespace

TEST(PortalAppId, TheUnitsNameGivesItWhenItHoldsAnIdWithTwoDots) {
  struct Case {
    const char* unit;
    const char* id;
  } cases[] = {
      {"app-gnome-org.gnome.Epiphany-182352.scope", "org.gnome.Epiphany"},
      {"app-KDE-org.kde.okular@12345.service", "org.kde.okular"},
      {"app-io.github.glassfall.Glassfall-autostart.service", "io.github.glassfall.Glassfall"},
      {"app-gnome-glassfall-4242.scope", ""},  // our desktop entry's id: no dots, no id
      {"app-glib-spice\\x2dvdagent-1839.scope", ""},
      {"vte-spawn-1b2c3d4e.scope", ""},  // a terminal's child
      {"glassfall.service", ""},         // a user service of its own
  };
  for (const Case& c : cases) EXPECT_EQ(portalAppIdOf(inUnit(c.unit)), c.id) << c.unit;
}

TEST(PortalAppId, OutsideTheUsersServiceManagerThereIsNone) {
  EXPECT_EQ(portalAppIdOf(""), "");
  EXPECT_EQ(portalAppIdOf("0::/\n"), "");
  EXPECT_EQ(portalAppIdOf("0::/user.slice/user-1000.slice/session-2.scope\n"), "");
  // Only the unified hierarchy counts; slices below the manager are looked through.
  EXPECT_EQ(portalAppIdOf("1:name=systemd:/user.slice/user@1000.service/app-gnome-a.b.c-1.scope\n"
                          "0::/user.slice/user-1000.slice/user@1000.service/app.slice/x.slice/"
                          "app-gnome-org.example.App-7.scope\n"),
            "org.example.App");
}

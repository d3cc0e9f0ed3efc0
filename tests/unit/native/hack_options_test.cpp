// The native program's command line: targets, window ids in both spellings, the screensaver's
// window from the environment, and refusals with a usage message.
#include <gtest/gtest.h>

#include <vector>

#include "hack_options.h"
#include "picture_source.h"

namespace {

struct Parsed {
  ParseResult result;
  HackOptions options;
};

Parsed parse(std::vector<const char*> args, const char* screensaverWindow = nullptr) {
  args.insert(args.begin(), "glassfall");
  Parsed p;
  p.result = parseHackOptions(int(args.size()), args.data(), screensaverWindow, p.options);
  return p;
}

}  // namespace

TEST(HackOptions, NothingGivenOpensItsOwnWindowAtSixtyFramesASecond) {
  const Parsed p = parse({});
  EXPECT_EQ(p.result.outcome, ParseOutcome::run);
  EXPECT_EQ(p.options.target, DrawTarget::ownWindow);
  EXPECT_EQ(p.options.delayMicroseconds, 16667);
  EXPECT_FALSE(p.options.showFps);
  // A screensaver window in the environment does not pull a plain run onto it.
  EXPECT_EQ(parse({}, "0x400001").options.target, DrawTarget::ownWindow);
}

TEST(HackOptions, WindowIdInHexOrDecimalWithOneOrTwoDashes) {
  struct Case {
    std::vector<const char*> args;
    unsigned long id;
  };
  const Case cases[] = {
      {{"--window-id", "0x1a00003"}, 0x1a00003},
      {{"--window-id", "0X1A00003"}, 0x1a00003},
      {{"--window-id", "27262979"}, 27262979},
      {{"-window-id", "0x1a00003"}, 0x1a00003},
      {{"--window-id=0x1a00003"}, 0x1a00003},
      {{"--window-id", "0xffffffff"}, 0xffffffffUL},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.args);
    EXPECT_EQ(p.result.outcome, ParseOutcome::run) << c.args[0];
    EXPECT_EQ(p.options.target, DrawTarget::windowId);
    EXPECT_EQ(p.options.window, c.id);
  }
}

TEST(HackOptions, RootIsTheScreensaverWindowFromTheEnvironmentElseTheRealRoot) {
  Parsed p = parse({"--root"}, "0x2c00007");
  EXPECT_EQ(p.result.outcome, ParseOutcome::run);
  EXPECT_EQ(p.options.target, DrawTarget::root);
  EXPECT_EQ(p.options.window, 0x2c00007u);

  p = parse({"-root"}, "46137351");
  EXPECT_EQ(p.options.window, 46137351u);

  p = parse({"--root"});
  EXPECT_EQ(p.result.outcome, ParseOutcome::run);
  EXPECT_EQ(p.options.window, 0u);  // the root window itself

  // The last target named wins, as with the screensaver's own hacks.
  p = parse({"--window-id", "0x10", "--root"});
  EXPECT_EQ(p.options.target, DrawTarget::root);
  EXPECT_EQ(p.options.window, 0u);
  p = parse({"--root", "--window"});
  EXPECT_EQ(p.options.target, DrawTarget::ownWindow);
}

TEST(HackOptions, DelayAndFps) {
  Parsed p = parse({"--delay", "20000", "--fps"});
  EXPECT_EQ(p.result.outcome, ParseOutcome::run);
  EXPECT_EQ(p.options.delayMicroseconds, 20000);
  EXPECT_TRUE(p.options.showFps);
  EXPECT_EQ(parse({"--delay=0"}).options.delayMicroseconds, 0);
  EXPECT_EQ(parse({"-delay", "10000000"}).options.delayMicroseconds, 10000000);
}

TEST(HackOptions, BadInputIsAUsageErrorThatSaysWhat) {
  struct Case {
    std::vector<const char*> args;
    const char* screensaverWindow;
    const char* mentions;
  };
  const Case cases[] = {
      {{"--bogus"}, nullptr, "--bogus"},
      {{"stray"}, nullptr, "stray"},
      {{"--window-id"}, nullptr, "--window-id"},
      {{"--window-id", "0x"}, nullptr, "'0x'"},
      {{"--window-id", "0"}, nullptr, "'0'"},
      {{"--window-id", "-5"}, nullptr, "'-5'"},
      {{"--window-id", "12abc"}, nullptr, "'12abc'"},
      {{"--window-id", " 12"}, nullptr, "' 12'"},
      {{"--window-id", "0x100000000"}, nullptr, "0x100000000"},
      {{"--window-id", "99999999999999999999999"}, nullptr, "9999"},
      {{"--delay"}, nullptr, "--delay"},
      {{"--delay", "-1"}, nullptr, "'-1'"},
      {{"--delay", "fast"}, nullptr, "'fast'"},
      {{"--delay", "10000001"}, nullptr, "10000000"},
      {{"--fps=yes"}, nullptr, "--fps"},
      {{"--root=1"}, nullptr, "--root"},
      {{"--root"}, "garbage", "$XSCREENSAVER_WINDOW"},
      {{"--root"}, "", "$XSCREENSAVER_WINDOW"},
      {{"-"}, nullptr, "-"},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.args, c.screensaverWindow);
    EXPECT_EQ(p.result.outcome, ParseOutcome::usageError) << c.args[0];
    EXPECT_NE(p.result.message.find(c.mentions), std::string::npos) << p.result.message;
  }
}

TEST(HackOptions, HelpWinsAndTheUsageNamesEveryOption) {
  EXPECT_EQ(parse({"--fps", "--help"}).result.outcome, ParseOutcome::help);
  EXPECT_EQ(parse({"-h"}).result.outcome, ParseOutcome::help);
  const std::string usage = hackUsage("glassfall");
  for (const char* option : {"--window ", "--root", "--window-id ID", "--delay USEC", "--fps", "--help",
                             "--music FILE", "--cd", "--track N", "--idle SECONDS"}) {
    EXPECT_NE(usage.find(option), std::string::npos) << option;
  }
}

TEST(HackOptions, TheScreensaversHelperFillsThePictureOnlyInItsWindows) {
  HackOptions own, root, id;
  root.target = DrawTarget::root;
  id.target = DrawTarget::windowId;
  EXPECT_TRUE(pictureFromScreensaverHelper(root, true));
  EXPECT_TRUE(pictureFromScreensaverHelper(id, true));  // the settings' preview
  EXPECT_FALSE(pictureFromScreensaverHelper(own, true));
  // With no daemon the helper would wait for a screen it cannot grab.
  EXPECT_FALSE(pictureFromScreensaverHelper(root, false));
  EXPECT_FALSE(pictureFromScreensaverHelper(id, false));
}

// The music's options stand among the animation's, in the same spellings, and never take a
// value of another option.
TEST(HackOptions, MusicFileCdAndTrackInTheirForms) {
  Parsed p = parse({"--root", "--music", "/m/a b.mp3", "--delay", "20000"});
  ASSERT_EQ(p.result.outcome, ParseOutcome::run);
  EXPECT_EQ(p.options.music.file, "/m/a b.mp3");
  EXPECT_FALSE(p.options.music.cd);
  EXPECT_EQ(p.options.target, DrawTarget::root);
  EXPECT_EQ(p.options.delayMicroseconds, 20000);

  p = parse({"-cd", "-track", "7"});
  EXPECT_TRUE(p.options.music.cd);
  EXPECT_EQ(p.options.music.track, 7);

  p = parse({"--music=/m/x.wav", "--track=0"});
  EXPECT_EQ(p.options.music.file, "/m/x.wav");
  EXPECT_EQ(p.options.music.track, 0);
  // A file named like an option is still the value.
  EXPECT_EQ(parse({"--music", "--cd"}).options.music.file, "--cd");
  // Not music options, though they begin alike.
  for (const char* word : {"--musical", "--cdrom", "--tracks"}) {
    const Parsed other = parse({word, "2"});
    EXPECT_EQ(other.result.outcome, ParseOutcome::usageError) << word;
    EXPECT_NE(other.result.message.find("unknown option"), std::string::npos) << word;
  }
}

TEST(HackOptions, TheLaterOfMusicFileAndCdWins) {
  Parsed p = parse({"--music", "/m/a.mp3", "--cd"});
  EXPECT_TRUE(p.options.music.cd);
  EXPECT_TRUE(p.options.music.file.empty());
  p = parse({"--cd", "--track", "3", "--music", "/m/a.mp3"});
  EXPECT_FALSE(p.options.music.cd);
  EXPECT_EQ(p.options.music.file, "/m/a.mp3");
}

TEST(HackOptions, MissingOrBadMusicValuesAreUsageErrors) {
  const std::vector<std::vector<const char*>> bad = {
      {"--music"}, {"--track"}, {"--cd", "--track", "x"}, {"--track", "100"}, {"--track", "-1"},
      {"--track", "3.5"}, {"--track", ""}, {"--track", "99999999999999999999"}, {"--cd=yes"}};
  for (const auto& words : bad) {
    const Parsed p = parse(words);
    EXPECT_EQ(p.result.outcome, ParseOutcome::usageError) << words[0];
    EXPECT_FALSE(p.result.message.empty());
  }
  EXPECT_EQ(parse({"--track", "99"}).result.outcome, ParseOutcome::run);
  // The first bad word is the one reported, whatever follows.
  EXPECT_EQ(parse({"--root", "--track", "x", "--delay", "y"}).result.message,
            "--track needs a track number from 0 to 99");
}

TEST(HackOptions, WaylandWhenAskedOrWhenTheSessionHasNoXDisplay) {
  struct Case {
    std::vector<const char*> args;
    const char* waylandDisplay;
    const char* display;
    bool wayland;
  };
  const Case cases[] = {
      {{"--wayland"}, nullptr, ":0", true},         // asked: even beside an X display
      {{"-wayland"}, "wayland-1", ":0", true},
      {{}, "wayland-1", nullptr, true},             // a Wayland session without XWayland
      {{}, "wayland-1", "", true},                  // an empty variable is no display
      {{}, "wayland-1", ":0", false},               // XWayland there: the X front-end, as before
      {{}, nullptr, ":0", false},
      {{}, "", nullptr, false},
      {{"--root"}, "wayland-1", nullptr, false},    // XScreenSaver's window is an X window
      {{"--window-id", "0x400001"}, "wayland-1", nullptr, false},
  };
  for (const Case& c : cases) {
    const Parsed p = parse(c.args);
    ASSERT_EQ(p.result.outcome, ParseOutcome::run) << (c.args.empty() ? "" : c.args[0]);
    EXPECT_EQ(runsOnWayland(p.options, c.waylandDisplay, c.display), c.wayland)
        << (c.args.empty() ? "(none)" : c.args[0]) << " WAYLAND_DISPLAY=" << (c.waylandDisplay ? c.waylandDisplay : "-")
        << " DISPLAY=" << (c.display ? c.display : "-");
  }
  // It covers the outputs itself: a window to draw into makes no sense with it.
  EXPECT_EQ(parse({"--wayland", "--root"}).result.outcome, ParseOutcome::usageError);
  EXPECT_EQ(parse({"--window-id", "0x400001", "--wayland"}).result.outcome, ParseOutcome::usageError);
  EXPECT_EQ(parse({"--wayland=yes"}).result.outcome, ParseOutcome::usageError);
  const std::string usage = hackUsage("glassfall");
  EXPECT_NE(usage.find("--wayland"), std::string::npos);
  EXPECT_NE(usage.find("$WAYLAND_DISPLAY is set and $DISPLAY is not"), std::string::npos);
  // The capture sources in the order they are tried.
  ASSERT_NE(usage.find("ext-image-copy-capture"), std::string::npos);
  EXPECT_LT(usage.find("ext-image-copy-capture"), usage.find("wlr-screencopy"));
}

TEST(HackOptions, IdleTakesSecondsFromOneToADay) {
  EXPECT_EQ(parse({"--idle", "300"}).options.idleSeconds, 300);
  EXPECT_EQ(parse({"-idle=1"}).options.idleSeconds, 1);
  EXPECT_EQ(parse({"--idle", "86400", "--wayland"}).options.idleSeconds, 86400);
  EXPECT_EQ(parse({}).options.idleSeconds, 0);
  for (const char* bad : {"0", "-5", "abc", "5s", "", "86401", "99999999999999999999"}) {
    const Parsed p = parse({"--idle", bad});
    EXPECT_EQ(p.result.outcome, ParseOutcome::usageError) << bad;
    EXPECT_NE(p.result.message.find("--idle wants seconds from 1 to 86400"), std::string::npos) << bad;
  }
  EXPECT_EQ(parse({"--idle"}).result.outcome, ParseOutcome::usageError);
  // XScreenSaver's windows are its own runs, never ours to wait for.
  EXPECT_EQ(parse({"--idle", "60", "--root"}).result.outcome, ParseOutcome::usageError);
  EXPECT_EQ(parse({"--window-id", "0x400001", "--idle", "60"}).result.outcome, ParseOutcome::usageError);
}

TEST(HackOptions, EachIdleRunIsTheWaylandOverlayWithTheSameAnimationAndMusic) {
  using Words = std::vector<std::string>;
  EXPECT_EQ(idleRunArguments(parse({"--idle", "5"}).options), (Words{"--wayland", "--delay", "16667"}));
  EXPECT_EQ(idleRunArguments(parse({"--idle", "5", "--delay", "33333", "--fps", "--cd", "--track", "3"}).options),
            (Words{"--wayland", "--delay", "33333", "--fps", "--cd", "--track", "3"}));
  // A file named like an option stays the run's music file, not an option of its own.
  const Parsed p = parse({"--idle", "5", "--music", "-rain.mp3"});
  const Words words = idleRunArguments(p.options);
  EXPECT_EQ(words.back(), "--music=-rain.mp3");
  std::vector<const char*> argv;
  for (const std::string& w : words) argv.push_back(w.c_str());
  const Parsed again = parse(argv);
  EXPECT_EQ(again.result.outcome, ParseOutcome::run);
  EXPECT_TRUE(again.options.wayland);
  EXPECT_EQ(again.options.music.file, "-rain.mp3");
  EXPECT_EQ(again.options.idleSeconds, 0);  // a run, never another waiting process
}

TEST(HackOptions, AskingForTheScreenshotPermissionIsAWaylandRunThatMayAsk) {
  const Parsed asked = parse({"--ask-screenshot-permission"});
  ASSERT_EQ(asked.result.outcome, ParseOutcome::run);
  EXPECT_TRUE(asked.options.askScreenshotPermission);
  // Beside XWayland too: only the Wayland run has the portal to ask.
  EXPECT_TRUE(runsOnWayland(asked.options, "wayland-0", ":0"));
  EXPECT_FALSE(parse({"--wayland"}).options.askScreenshotPermission);
  EXPECT_EQ(parse({"--ask-screenshot-permission=yes"}).result.outcome, ParseOutcome::usageError);
  EXPECT_EQ(parse({"--root", "--ask-screenshot-permission"}).result.outcome, ParseOutcome::usageError);
  EXPECT_NE(hackUsage("glassfall").find("--ask-screenshot-permission"), std::string::npos);
}

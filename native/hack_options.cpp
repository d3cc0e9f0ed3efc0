#include "hack_options.h"

#include <cstring>

namespace {

bool parseUnsigned(const char* text, int base, unsigned long long limit, unsigned long long& value) {
  if (!text || !*text) return false;
  unsigned long long v = 0;
  for (const char* p = text; *p; ++p) {
    int digit;
    if (*p >= '0' && *p <= '9') {
      digit = *p - '0';
    } else if (base == 16 && *p >= 'a' && *p <= 'f') {
      digit = *p - 'a' + 10;
    } else if (base == 16 && *p >= 'A' && *p <= 'F') {
      digit = *p - 'A' + 10;
    } else {
      return false;
    }
    v = v * unsigned(base) + unsigned(digit);
    if (v > limit) return false;
  }
  value = v;
  return true;
}

// "--name", "-name", "--name=value" or "-name=value": the name and, when given, the value.
bool splitOption(const char* arg, std::string& name, const char*& inlineValue) {
  if (arg[0] != '-') return false;
  const char* start = arg + (arg[1] == '-' ? 2 : 1);
  const char* equals = std::strchr(start, '=');
  name.assign(start, equals ? std::size_t(equals - start) : std::strlen(start));
  inlineValue = equals ? equals + 1 : nullptr;
  return !name.empty();
}

ParseResult usageError(std::string message) { return {ParseOutcome::usageError, std::move(message)}; }

const unsigned long long kHighestTrack = 99;  // an audio CD holds at most 99 tracks

}  // namespace

bool parseWindowId(const char* text, unsigned long& id) {
  unsigned long long value = 0;
  const bool hex = text && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (!parseUnsigned(hex ? text + 2 : text, hex ? 16 : 10, 0xFFFFFFFFull, value) || value == 0) return false;
  id = static_cast<unsigned long>(value);
  return true;
}

ParseResult parseHackOptions(int argc, const char* const argv[], const char* screensaverWindow,
                             HackOptions& options) {
  for (int i = 1; i < argc; ++i) {
    std::string name;
    const char* inlineValue = nullptr;
    if (!splitOption(argv[i], name, inlineValue)) return usageError(std::string("unexpected argument: ") + argv[i]);

    // The value of an option that takes one: after "=", else the next word.
    auto value = [&]() -> const char* {
      if (inlineValue) return inlineValue;
      return i + 1 < argc ? argv[++i] : nullptr;
    };
    auto flag = [&](bool& field) {
      if (inlineValue) return false;
      field = true;
      return true;
    };

    if (name == "help" || name == "h") {
      return {ParseOutcome::help, {}};
    } else if (name == "window") {
      if (inlineValue) return usageError("--window takes no value");
      options.target = DrawTarget::ownWindow;
    } else if (name == "root") {
      if (inlineValue) return usageError("--root takes no value");
      options.target = DrawTarget::root;
    } else if (name == "window-id") {
      const char* text = value();
      unsigned long id = 0;
      if (!parseWindowId(text, id)) {
        return usageError(std::string("--window-id wants a window id (0x1a00003 or decimal), not '") +
                          (text ? text : "") + "'");
      }
      options.target = DrawTarget::windowId;
      options.window = id;
    } else if (name == "delay") {
      const char* text = value();
      unsigned long long usec = 0;
      if (!parseUnsigned(text, 10, kMaxDelayMicroseconds, usec)) {
        return usageError(std::string("--delay wants microseconds from 0 to ") +
                          std::to_string(kMaxDelayMicroseconds) + ", not '" + (text ? text : "") + "'");
      }
      options.delayMicroseconds = long(usec);
    } else if (name == "idle") {
      const char* text = value();
      unsigned long long seconds = 0;
      if (!parseUnsigned(text, 10, kMaxIdleSeconds, seconds) || seconds == 0) {
        return usageError(std::string("--idle wants seconds from 1 to ") + std::to_string(kMaxIdleSeconds) +
                          ", not '" + (text ? text : "") + "'");
      }
      options.idleSeconds = int(seconds);
    } else if (name == "wayland") {
      if (!flag(options.wayland)) return usageError("--wayland takes no value");
    } else if (name == "ask-screenshot-permission") {
      // Only the Wayland run has a portal to ask.
      if (!flag(options.askScreenshotPermission)) return usageError("--ask-screenshot-permission takes no value");
      options.wayland = true;
    } else if (name == "fps") {
      if (!flag(options.showFps)) return usageError("--fps takes no value");
    } else if (name == "music") {
      // A file named like an option is still the value.
      const char* text = value();
      if (!text) return usageError("--music needs a file");
      options.music.file = text;
      options.music.cd = false;
    } else if (name == "cd") {
      if (!flag(options.music.cd)) return usageError("--cd takes no value");
      options.music.file.clear();
    } else if (name == "track") {
      const char* text = value();
      unsigned long long track = 0;
      if (!parseUnsigned(text, 10, kHighestTrack, track)) return usageError("--track needs a track number from 0 to 99");
      options.music.track = int(track);
    } else {
      return usageError("unknown option: " + std::string(argv[i]));
    }
  }

  if (options.wayland && options.target != DrawTarget::ownWindow) {
    return usageError("--wayland covers the outputs itself: no --root or --window-id with it");
  }
  if (options.idleSeconds > 0 && options.target != DrawTarget::ownWindow) {
    return usageError("--idle starts Wayland overlays of its own: no --root or --window-id with it");
  }
  if (options.target == DrawTarget::root) {
    options.window = 0;
    if (screensaverWindow && !parseWindowId(screensaverWindow, options.window)) {
      return usageError(std::string("$XSCREENSAVER_WINDOW is not a window id: '") + screensaverWindow + "'");
    }
  }
  return {};
}

std::string hackUsage(const char* programName) {
  std::string usage = std::string("usage: ") + programName +
                      " [--window | --root | --window-id ID | --wayland] [--delay USEC] [--fps]\n"
                      "       [--ask-screenshot-permission] [--music FILE | --cd [--track N]] [--idle SECONDS]\n"
                      "       [--help]\n";
  usage +=
      "  --window          a window of its own, the size of the screen (the default);\n"
      "                    q, Escape or closing the window ends it\n"
      "  --root            draw on the virtual root: the window in $XSCREENSAVER_WINDOW,\n"
      "                    else the root window\n"
      "  --window-id ID    draw into the window ID (0x1a00003 or decimal)\n"
      "  --wayland         cover every output of the Wayland compositor ($WAYLAND_DISPLAY);\n"
      "                    chosen by itself when $WAYLAND_DISPLAY is set and $DISPLAY is not.\n"
      "                    Any key but g, r and s, moving the pointer or a button ends it.\n"
      "                    The desktop's picture: ext-image-copy-capture where offered, else\n"
      "                    wlr-screencopy, else KWin's screenshots (KDE Plasma, for the program\n"
      "                    its desktop entry names), else the desktop portal's screenshot (GNOME,\n"
      "                    where its permission is stored), else none (plain shards)\n"
      "  --ask-screenshot-permission\n"
      "                    on GNOME: let the desktop ask once whether Glassfall may take\n"
      "                    screenshots; later runs picture the desktop where it was allowed\n"
      "  --delay USEC      microseconds from one frame to the next (default " +
      std::to_string(kDefaultDelayMicroseconds) +
      ", about 60 frames/s;\n"
      "                    below that it still draws at most 60 frames/s)\n"
      "  --fps             show the frame rate in the lower left corner\n"
      "  --idle SECONDS    stay running: cover the Wayland outputs each time the session has\n"
      "                    been idle that long (1-86400), never while an idle inhibitor is\n"
      "                    held; for desktops without an idle daemon (GNOME, KDE Plasma)\n"
      "  --help            show this and exit\n"
      "Music:\n"
      "  --music FILE      loop an MP3 or WAV file while the screensaver runs\n"
      "  --cd              play the audio CD, from its first track through the disc\n"
      "  --track N         with --cd: repeat track N (1-99) instead; 0 is the whole disc\n"
      "Keys: g gravity on/off, r restart the picture, s cut every piece.\n"
      "SIGTERM or SIGINT ends it.\n";
  return usage;
}

bool runsOnWayland(const HackOptions& options, const char* waylandDisplay, const char* display) {
  if (options.wayland) return true;
  const bool hasWayland = waylandDisplay && *waylandDisplay;
  const bool hasX = display && *display;
  return options.target == DrawTarget::ownWindow && hasWayland && !hasX;
}


std::vector<std::string> idleRunArguments(const HackOptions& options) {
  std::vector<std::string> words = {"--wayland", "--delay", std::to_string(options.delayMicroseconds)};
  if (options.showFps) words.push_back("--fps");
  if (options.music.cd) {
    words.push_back("--cd");
  } else if (!options.music.file.empty()) {
    // After "=": a file whose name starts with a dash stays the value.
    words.push_back("--music=" + options.music.file);
  }
  // The track as given, with or without the CD (the run reads the options as the waiting one did).
  if (options.music.track != 0) words.insert(words.end(), {"--track", std::to_string(options.music.track)});
  return words;
}

// A small Wayland compositor of the e2e tests' own (test code, never shipped): the outputs, the
// control channel and the start.
//
// Why: the distribution's compositors cannot close a layer surface while its output stays,
// announce an output at a moment the test chooses, or offer ext-image-copy-capture. This one
// can, and offers only what the native program needs: wl_compositor (surfaces, regions, frame
// callbacks, every buffer released after commit), wl_shm, a seat with a keyboard (an xkb keymap),
// one wl_output per output, zwlr_layer_shell_v1, ext-image-copy-capture with output sources and,
// when asked, wlr-screencopy,
// each output's capture a known picture (a P6 PPM named on the command line, else a generated
// gradient). No renderer, no input devices, no xdg-shell.
//
//   test_compositor [--capture ext|screencopy|both|none] --output WxH+X+Y[@SCALE[/TRANSFORM]][=PICTURE.ppm] ...
//
// WxH is the mode, in the buffer's orientation; PICTURE is what the user sees on the output (so
// H x W when TRANSFORM, a wl_output transform, turns it a quarter), turned here into the
// buffer's orientation for its captures.
//
// The capture protocols offered: ext-image-copy-capture alone unless told (wlr-screencopy, the
// program's older path, on request).
//
// It prints "ready SOCKET" once the socket is up, then takes one command a line on stdin and
// answers each with one line ("ok ..." or "error ..."); stdin at its end, SIGTERM or SIGINT end it.
//   close N             our layer surfaces on output N get `closed` (the output stays)
//   add SPEC            a new output (SPEC as --output); answers "ok N"
//   remove N            output N goes (its layer surfaces closed first)
//   key NAME            a key pressed and released on every keyboard (q, x, g, r, s, esc, space)
//   hold N [MS]         captures of output N wait until `release N` (or MS milliseconds)
//   release N           the held captures of output N are served
//   fail N              captures of output N fail from now on
//   stale N             the next capture session of output N first gives half the mode's size,
//                       then, when a frame is captured, the right size, and fails that frame
//                       for its buffer (as when the output changes mode meanwhile)
//   shot N FILE         the last buffer a layer surface on output N committed, as a P6 PPM
//   status N            "ok surfaces=L commits=C closed=K captures=Q screencopies=P held=H bound=B"
//                       for output N: live layer surfaces, buffers they committed, closed sent,
//                       captures served (ext-image-copy-capture, wlr-screencopy) and held, and
//                       wl_output objects bound
#include "test_compositor.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <fstream>
#include <sstream>

namespace tc {

Compositor server;

namespace {

bool readPpm(const std::string& path, Rgb& into) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxval = 0;
  in >> magic >> into.width >> into.height >> maxval;
  if (!in || magic != "P6" || maxval != 255 || into.width <= 0 || into.height <= 0) return false;
  in.get();
  into.data.resize(std::size_t(into.width) * into.height * 3);
  in.read(reinterpret_cast<char*>(into.data.data()), std::streamsize(into.data.size()));
  return bool(in);
}

bool writePpm(const std::string& path, const Rgb& image) {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << image.width << " " << image.height << "\n255\n";
  out.write(reinterpret_cast<const char*>(image.data.data()), std::streamsize(image.data.size()));
  return bool(out);
}

void generatedPicture(Output& o) {
  o.picture.width = o.width;
  o.picture.height = o.height;
  o.picture.data.resize(std::size_t(o.width) * o.height * 3);
  for (int y = 0; y < o.height; ++y) {
    for (int x = 0; x < o.width; ++x) {
      std::uint8_t* p = &o.picture.data[(std::size_t(y) * o.width + x) * 3];
      p[0] = std::uint8_t(255 * x / o.width);
      p[1] = std::uint8_t(255 * y / o.height);
      p[2] = std::uint8_t(60 * o.index);
    }
  }
}

// The picture turned from what the user sees into the output's buffer: mirrored first when the
// transform says so, then turned a quarter counter-clockwise as many times as it says.
Rgb toBuffer(Rgb image, int transform) {
  auto at = [](Rgb& im, int x, int y) { return &im.data[(std::size_t(y) * im.width + x) * 3]; };
  if (transform & 4) {
    for (int y = 0; y < image.height; ++y) {
      for (int x = 0; x < image.width / 2; ++x) std::swap_ranges(at(image, x, y), at(image, x, y) + 3,
                                                                 at(image, image.width - 1 - x, y));
    }
  }
  for (int turn = 0; turn < (transform & 3); ++turn) {
    Rgb turned;
    turned.width = image.height;
    turned.height = image.width;
    turned.data.resize(image.data.size());
    // A quarter counter-clockwise: the right-hand column becomes the top row.
    for (int y = 0; y < turned.height; ++y) {
      for (int x = 0; x < turned.width; ++x) std::copy_n(at(image, image.width - 1 - y, x), 3, at(turned, x, y));
    }
    image = std::move(turned);
  }
  return image;
}

void outputRelease(wl_client*, wl_resource* resource) { wl_resource_destroy(resource); }
const struct wl_output_interface kOutputImpl = {outputRelease};

void bindOutput(wl_client* client, void* data, std::uint32_t version, std::uint32_t id) {
  auto* o = static_cast<Output*>(data);
  ++o->bound;
  wl_resource* r = wl_resource_create(client, &wl_output_interface, int(version), id);
  wl_resource_set_implementation(r, &kOutputImpl, o, nullptr);
  wl_output_send_geometry(r, o->x, o->y, 0, 0, WL_OUTPUT_SUBPIXEL_UNKNOWN, "Glassfall", "Test", o->transform);
  wl_output_send_mode(r, WL_OUTPUT_MODE_CURRENT | WL_OUTPUT_MODE_PREFERRED, o->width, o->height, 60000);
  if (version >= WL_OUTPUT_SCALE_SINCE_VERSION) wl_output_send_scale(r, o->scale);
  if (version >= WL_OUTPUT_DONE_SINCE_VERSION) wl_output_send_done(r);
}

int destroyGlobal(void* data) {
  wl_global_destroy(static_cast<wl_global*>(data));
  return 0;
}

std::string statusOf(const Output& o) {
  std::ostringstream s;
  s << "ok surfaces=" << liveLayerSurfaces(o) << " commits=" << o.commits << " closed=" << o.closedSent
    << " captures=" << o.capturesServed << " screencopies=" << o.screencopiesServed
    << " held=" << o.heldFrames.size() << " bound=" << o.bound;
  return s.str();
}

std::string command(const std::string& line) {
  std::istringstream in(line);
  std::string verb, rest;
  int n = 0;
  in >> verb;
  if (verb == "add") {
    in >> rest;
    std::string error;
    Output* o = addOutput(rest, error);
    return o ? "ok " + std::to_string(o->index) : "error " + error;
  }
  if (verb == "key") {
    in >> rest;
    return sendKey(rest) ? "ok" : "error no such key: " + rest;
  }
  in >> n;
  Output* o = outputByIndex(n);
  if (!o) return "error no output " + std::to_string(n);
  if (verb == "close") return "ok " + std::to_string(closeLayerSurfaces(*o));
  if (verb == "remove") {
    removeOutput(*o);
    return "ok";
  }
  if (verb == "fail") {
    o->failCaptures = true;
    return "ok";
  }
  if (verb == "stale") {
    o->staleSize = true;
    return "ok";
  }
  if (verb == "hold") {
    int ms = 0;
    in >> ms;
    o->held = true;
    if (ms > 0) {
      if (!o->holdTimer) {
        o->holdTimer = wl_event_loop_add_timer(server.loop, [](void* d) {
          releaseHeldFrames(*static_cast<Output*>(d));
          return 0;
        }, o);
      }
      wl_event_source_timer_update(o->holdTimer, ms);
    }
    return "ok";
  }
  if (verb == "release") {
    releaseHeldFrames(*o);
    return "ok";
  }
  if (verb == "shot") {
    in >> rest;
    if (o->shown.data.empty()) return "error nothing committed on output " + std::to_string(n);
    if (!writePpm(rest, o->shown)) return "error cannot write " + rest;
    return "ok " + std::to_string(o->shown.width) + "x" + std::to_string(o->shown.height);
  }
  if (verb == "status") return statusOf(*o);
  return "error unknown command: " + verb;
}

std::string pendingInput;

int onControl(int fd, std::uint32_t, void*) {
  char chunk[4096];
  const ssize_t n = ::read(fd, chunk, sizeof chunk);
  if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
    wl_display_terminate(server.display);  // the test is gone
    return 0;
  }
  if (n > 0) pendingInput.append(chunk, std::size_t(n));
  std::size_t end;
  while ((end = pendingInput.find('\n')) != std::string::npos) {
    const std::string line = pendingInput.substr(0, end);
    pendingInput.erase(0, end + 1);
    if (line.empty()) continue;
    std::printf("%s\n", command(line).c_str());
    // Events the command made go out before the answer is read.
    wl_display_flush_clients(server.display);
  }
  std::fflush(stdout);
  return 0;
}

int onStop(int, void*) {
  wl_display_terminate(server.display);
  return 0;
}

}  // namespace

Output* outputByIndex(int index) {
  for (auto& o : server.outputs) {
    if (o->index == index && !o->removed) return o.get();
  }
  return nullptr;
}

Output* addOutput(const std::string& spec, std::string& error) {
  auto o = std::make_unique<Output>();
  std::string geometry = spec, picture;
  const std::size_t eq = spec.find('=');
  if (eq != std::string::npos) {
    geometry = spec.substr(0, eq);
    picture = spec.substr(eq + 1);
  }
  char extra = 0;
  const int got = std::sscanf(geometry.c_str(), "%dx%d%d%d@%d/%d%c", &o->width, &o->height, &o->x, &o->y, &o->scale,
                              &o->transform, &extra);
  if (got < 4 || got > 6 || o->width <= 0 || o->height <= 0 || o->scale < 1 || o->transform < 0 ||
      o->transform > 7) {
    error = "not an output: " + spec;
    return nullptr;
  }
  o->index = server.nextIndex;
  const bool turned = o->transform & 1;
  const int seenWidth = turned ? o->height : o->width, seenHeight = turned ? o->width : o->height;
  Rgb seen;
  if (picture.empty()) {
    generatedPicture(*o);
  } else if (!readPpm(picture, seen) || seen.width != seenWidth || seen.height != seenHeight) {
    error = "not a " + std::to_string(seenWidth) + "x" + std::to_string(seenHeight) + " P6 picture: " + picture;
    return nullptr;
  } else {
    o->picture = toBuffer(std::move(seen), o->transform);
  }
  ++server.nextIndex;
  o->global = wl_global_create(server.display, &wl_output_interface, 3, o.get(), bindOutput);
  server.outputs.push_back(std::move(o));
  return server.outputs.back().get();
}

void removeOutput(Output& o) {
  closeLayerSurfaces(o);
  releaseHeldFrames(o);
  o.removed = true;
  // Gone from the registry now; the global itself a moment later, once clients have seen that
  // (a bind racing the removal must still find it).
  wl_global_remove(o.global);
  wl_event_source* later = wl_event_loop_add_timer(server.loop, destroyGlobal, o.global);
  wl_event_source_timer_update(later, 1000);
  o.global = nullptr;
}

}  // namespace tc

int main(int argc, char** argv) {
  using namespace tc;
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  server.display = wl_display_create();
  server.loop = wl_display_get_event_loop(server.display);
  for (int i = 1; i < argc; ++i) {
    std::string error;
    if (std::strcmp(argv[i], "--capture") == 0 && i + 1 < argc) {
      const std::string which = argv[++i];
      server.offerImageCopy = which == "ext" || which == "both";
      server.offerScreencopy = which == "screencopy" || which == "both";
      if (!server.offerImageCopy && !server.offerScreencopy && which != "none") {
        std::fprintf(stderr, "test_compositor: --capture takes ext, screencopy, both or none\n");
        return 2;
      }
    } else if (std::strcmp(argv[i], "--output") == 0 && i + 1 < argc) {
      if (!addOutput(argv[++i], error)) {
        std::fprintf(stderr, "test_compositor: %s\n", error.c_str());
        return 2;
      }
    } else {
      std::fprintf(stderr, "usage: test_compositor [--capture ext|screencopy|both|none]"
                           " --output WxH+X+Y[@SCALE[/TRANSFORM]][=PICTURE.ppm] ...\n");
      return 2;
    }
  }
  wl_display_init_shm(server.display);  // ARGB8888 and XRGB8888
  offerSurfaces();
  offerCapture();
  const char* socket = wl_display_add_socket_auto(server.display);
  if (!socket) {
    std::fprintf(stderr, "test_compositor: no socket (is $XDG_RUNTIME_DIR set?)\n");
    return 1;
  }
  fcntl(0, F_SETFL, fcntl(0, F_GETFL) | O_NONBLOCK);
  wl_event_loop_add_fd(server.loop, 0, WL_EVENT_READABLE | WL_EVENT_HANGUP, onControl, nullptr);
  wl_event_loop_add_signal(server.loop, SIGTERM, onStop, nullptr);
  wl_event_loop_add_signal(server.loop, SIGINT, onStop, nullptr);
  signal(SIGPIPE, SIG_IGN);
  std::printf("ready %s\n", socket);
  wl_display_run(server.display);
  wl_display_destroy_clients(server.display);
  wl_display_destroy(server.display);
  return 0;
}

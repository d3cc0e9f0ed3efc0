// The KWin tests' hands on the compositor (test-only, never installed): lays out and scales
// the outputs through KDE's output management, and types keys through KWin's fake input (the
// latter granted only to a program a desktop entry names with X-KDE-Wayland-Interfaces).
//
//   kwin_helper layout NAME SCALE X Y [NAME SCALE X Y]...
//   kwin_helper key CODE...        (evdev key codes, each pressed and released)
#include <wayland-client.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fake-input-client-protocol.h"
#include "kde-output-device-v2-client-protocol.h"
#include "kde-output-management-v2-client-protocol.h"

namespace {

struct Device {
  kde_output_device_v2* device = nullptr;
  std::string name;
};

struct State {
  std::vector<Device*> devices;
  kde_output_management_v2* management = nullptr;
  org_kde_kwin_fake_input* fakeInput = nullptr;
  int applied = 0;  // 1 applied, -1 failed
};

void deviceName(void* data, kde_output_device_v2*, const char* name) { static_cast<Device*>(data)->name = name; }
void geometry(void*, kde_output_device_v2*, int32_t, int32_t, int32_t, int32_t, int32_t, const char*, const char*,
              int32_t) {}
void modeObject(void*, kde_output_device_v2*, kde_output_device_mode_v2*) {}
void noArguments(void*, kde_output_device_v2*) {}
void fixedValue(void*, kde_output_device_v2*, wl_fixed_t) {}
void text(void*, kde_output_device_v2*, const char*) {}
void number(void*, kde_output_device_v2*, int32_t) {}
void flags(void*, kde_output_device_v2*, uint32_t) {}
const kde_output_device_v2_listener kDeviceListener = {geometry, modeObject, modeObject, noArguments, fixedValue,
                                                       text,     number,     text,       text,        text,
                                                       flags,    flags,      flags,      flags,       deviceName};

void global(void* data, wl_registry* registry, uint32_t name, const char* interface, uint32_t version) {
  auto* s = static_cast<State*>(data);
  if (std::strcmp(interface, kde_output_device_v2_interface.name) == 0 && version >= 2) {
    auto* d = new Device;
    d->device =
        static_cast<kde_output_device_v2*>(wl_registry_bind(registry, name, &kde_output_device_v2_interface, 2));
    kde_output_device_v2_add_listener(d->device, &kDeviceListener, d);
    s->devices.push_back(d);
  } else if (std::strcmp(interface, kde_output_management_v2_interface.name) == 0) {
    s->management = static_cast<kde_output_management_v2*>(
        wl_registry_bind(registry, name, &kde_output_management_v2_interface, 1));
  } else if (std::strcmp(interface, org_kde_kwin_fake_input_interface.name) == 0 && version >= 4) {
    s->fakeInput = static_cast<org_kde_kwin_fake_input*>(
        wl_registry_bind(registry, name, &org_kde_kwin_fake_input_interface, 4));
  }
}
void globalRemove(void*, wl_registry*, uint32_t) {}
const wl_registry_listener kRegistryListener = {global, globalRemove};

void applied(void* data, kde_output_configuration_v2*) { static_cast<State*>(data)->applied = 1; }
void failed(void* data, kde_output_configuration_v2*) { static_cast<State*>(data)->applied = -1; }
const kde_output_configuration_v2_listener kConfigurationListener = {applied, failed};

int layout(wl_display* display, State& s, int argc, char** argv) {
  if (!s.management || argc % 4 != 0 || argc == 0) {
    std::fprintf(stderr, "kwin_helper: no output management, or not NAME SCALE X Y\n");
    return 2;
  }
  kde_output_configuration_v2* configuration = kde_output_management_v2_create_configuration(s.management);
  kde_output_configuration_v2_add_listener(configuration, &kConfigurationListener, &s);
  for (int i = 0; i < argc; i += 4) {
    Device* found = nullptr;
    for (Device* d : s.devices) found = d->name == argv[i] ? d : found;
    if (!found) {
      std::fprintf(stderr, "kwin_helper: no output %s\n", argv[i]);
      return 2;
    }
    kde_output_configuration_v2_scale(configuration, found->device, wl_fixed_from_double(std::atof(argv[i + 1])));
    kde_output_configuration_v2_position(configuration, found->device, std::atoi(argv[i + 2]), std::atoi(argv[i + 3]));
  }
  kde_output_configuration_v2_apply(configuration);
  while (s.applied == 0 && wl_display_dispatch(display) >= 0) {
  }
  if (s.applied != 1) std::fprintf(stderr, "kwin_helper: KWin did not apply the layout\n");
  return s.applied == 1 ? 0 : 1;
}

int keys(wl_display* display, State& s, int argc, char** argv) {
  if (!s.fakeInput) {
    std::fprintf(stderr, "kwin_helper: KWin offers this program no fake input\n");
    return 2;
  }
  org_kde_kwin_fake_input_authenticate(s.fakeInput, "Glassfall tests", "typing keys in the tests");
  for (int i = 0; i < argc; ++i) {
    const uint32_t code = uint32_t(std::strtoul(argv[i], nullptr, 10));
    org_kde_kwin_fake_input_keyboard_key(s.fakeInput, code, WL_KEYBOARD_KEY_STATE_PRESSED);
    org_kde_kwin_fake_input_keyboard_key(s.fakeInput, code, WL_KEYBOARD_KEY_STATE_RELEASED);
  }
  return wl_display_roundtrip(display) >= 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: kwin_helper layout NAME SCALE X Y ... | key CODE...\n");
    return 2;
  }
  wl_display* display = wl_display_connect(nullptr);
  if (!display) {
    std::fprintf(stderr, "kwin_helper: no Wayland display\n");
    return 2;
  }
  State s;
  wl_registry* registry = wl_display_get_registry(display);
  wl_registry_add_listener(registry, &kRegistryListener, &s);
  // The globals, then what each output device tells of itself.
  wl_display_roundtrip(display);
  wl_display_roundtrip(display);
  const std::string command = argv[1];
  const int status = command == "layout" ? layout(display, s, argc - 2, argv + 2)
                     : command == "key"  ? keys(display, s, argc - 2, argv + 2)
                                         : 2;
  wl_display_disconnect(display);  // the process ends here: what it bound goes with it
  return status;
}

/* Preload library for the peer benchmark (tools/bench_peer.py): counts a GL program's buffer
 * swaps, through GLX or EGL, and keeps the count in the file named by GLASSFALL_SWAP_COUNT
 * (8 bytes, little-endian), rewritten in place so a reader can sample it while it runs. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

static uint64_t swaps;
static int countFile = -2; /* -2: not opened yet, -1: no file */

static void counted(void) {
  ++swaps;
  if (countFile == -2) {
    const char* path = getenv("GLASSFALL_SWAP_COUNT");
    countFile = path ? open(path, O_WRONLY | O_CREAT | O_TRUNC, 0644) : -1;
  }
  if (countFile >= 0) (void)!pwrite(countFile, &swaps, sizeof swaps, 0);
}

void glXSwapBuffers(void* display, unsigned long drawable) {
  static void (*next)(void*, unsigned long);
  if (!next) next = (void (*)(void*, unsigned long))dlsym(RTLD_NEXT, "glXSwapBuffers");
  next(display, drawable);
  counted();
}

unsigned int eglSwapBuffers(void* display, void* surface) {
  static unsigned int (*next)(void*, void*);
  if (!next) next = (unsigned int (*)(void*, void*))dlsym(RTLD_NEXT, "eglSwapBuffers");
  const unsigned int ok = next(display, surface);
  counted();
  return ok;
}

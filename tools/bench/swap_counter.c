/* Benchmark-only preload library: counts glXSwapBuffers and eglSwapBuffers calls of any GL program (ours or a
 * peer), and the presents reached through glXGetProcAddress and eglGetProcAddress (glXCopySubBufferMESA,
 * eglSwapBuffersWithDamageKHR/EXT), into a small shared file, so a benchmark can read frames shown from outside while the
 * program runs, whatever way it is later ended.
 *
 *   GLASSFALL_SWAP_COUNTER=/path/file LD_PRELOAD=libswap_counter.so program ...
 *
 * The file holds three 64-bit numbers: swaps so far, and the CLOCK_MONOTONIC nanoseconds of
 * the first and the latest swap. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <string.h>
#include <stdint.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <time.h>
#include <unistd.h>

typedef void (*SwapFunction)(void*, unsigned long);
typedef unsigned (*EglSwapFunction)(void*, void*);

static volatile uint64_t* counter;
static int counterTried;

static void openCounter(void) {
  counterTried = 1;
  const char* path = getenv("GLASSFALL_SWAP_COUNTER");
  if (!path) return;
  int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return;
  if (ftruncate(fd, 3 * sizeof(uint64_t)) == 0) {
    void* map = mmap(NULL, 3 * sizeof(uint64_t), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (map != MAP_FAILED) counter = (volatile uint64_t*)map;
  }
  close(fd);
}

static void countSwap(void) {
  if (!counterTried) openCounter();
  if (counter) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    const uint64_t now = (uint64_t)t.tv_sec * 1000000000u + (uint64_t)t.tv_nsec;
    if (counter[0] == 0) counter[1] = now;
    counter[2] = now;
    counter[0] = counter[0] + 1;
  }
}

void glXSwapBuffers(void* display, unsigned long drawable) {
  static SwapFunction real;
  if (!real) real = (SwapFunction)dlsym(RTLD_NEXT, "glXSwapBuffers");
  real(display, drawable);
  countSwap();
}

unsigned eglSwapBuffers(void* display, void* surface) {
  static EglSwapFunction real;
  if (!real) real = (EglSwapFunction)dlsym(RTLD_NEXT, "eglSwapBuffers");
  const unsigned ok = real(display, surface);
  countSwap();
  return ok;
}

typedef void (*CopyFunction)(void*, unsigned long, int, int, int, int);
typedef unsigned (*DamageFunction)(void*, void*, int*, int);
typedef void* (*LookUp)(const char*);
static CopyFunction realCopy;
static DamageFunction realDamageKhr, realDamageExt;

static void countedCopy(void* display, unsigned long drawable, int x, int y, int width, int height) {
  realCopy(display, drawable, x, y, width, height);
  countSwap();
}

static unsigned countedDamageKhr(void* display, void* surface, int* rects, int count) {
  const unsigned ok = realDamageKhr(display, surface, rects, count);
  countSwap();
  return ok;
}

static unsigned countedDamageExt(void* display, void* surface, int* rects, int count) {
  const unsigned ok = realDamageExt(display, surface, rects, count);
  countSwap();
  return ok;
}

/* The real look-up's answer, or a counting stand-in for a present. */
static void* lookUp(const char* caller, const char* name) {
  LookUp real = (LookUp)dlsym(RTLD_NEXT, caller);
  void* found = real ? real(name) : NULL;
  if (!found || !name) return found;
  if (strcmp(name, "glXCopySubBufferMESA") == 0) {
    realCopy = (CopyFunction)found;
    return (void*)countedCopy;
  }
  if (strcmp(name, "eglSwapBuffersWithDamageKHR") == 0) {
    realDamageKhr = (DamageFunction)found;
    return (void*)countedDamageKhr;
  }
  if (strcmp(name, "eglSwapBuffersWithDamageEXT") == 0) {
    realDamageExt = (DamageFunction)found;
    return (void*)countedDamageExt;
  }
  return found;
}

void* glXGetProcAddressARB(const char* name) { return lookUp("glXGetProcAddressARB", name); }
void* glXGetProcAddress(const char* name) { return lookUp("glXGetProcAddress", name); }
void* eglGetProcAddress(const char* name) { return lookUp("eglGetProcAddress", name); }

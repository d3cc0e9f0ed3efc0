/* Puts a binary PPM (P6, 8-bit) on the root window of $DISPLAY as its background and holds it
 * there until ended: the server frees a client's pixmap when the client goes, and the root
 * would be black again. For benchmarks on an X server of their own (tools/gpu/measure.sh). */
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

static volatile sig_atomic_t stopping = 0;
static void onStop(int sig) { (void)sig; stopping = 1; }

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: root_picture FILE.ppm\n");
    return 2;
  }
  FILE* in = fopen(argv[1], "rb");
  int w = 0, h = 0, most = 0;
  if (!in || fscanf(in, "P6 %d %d %d", &w, &h, &most) != 3 || most != 255 || w < 1 || h < 1 || fgetc(in) == EOF) {
    fprintf(stderr, "root_picture: %s is no 8-bit binary PPM\n", argv[1]);
    return 1;
  }
  const size_t pixels = (size_t)w * (size_t)h;
  unsigned char* rgb = malloc(pixels * 3);
  unsigned char* data = malloc(pixels * 4);
  if (!rgb || !data || fread(rgb, 3, pixels, in) != pixels) {
    fprintf(stderr, "root_picture: %s is short\n", argv[1]);
    return 1;
  }
  fclose(in);
  Display* dpy = XOpenDisplay(NULL);
  if (!dpy) {
    fprintf(stderr, "root_picture: no display\n");
    return 1;
  }
  const int screen = DefaultScreen(dpy);
  const Window root = RootWindow(dpy, screen);
  const int depth = DefaultDepth(dpy, screen);
  if (depth != 24 && depth != 32) {
    fprintf(stderr, "root_picture: a %d-bit screen; 24 wanted\n", depth);
    return 1;
  }
  /* TrueColor, red high: 0x00RRGGBB, lowest byte first. */
  for (size_t i = 0; i < pixels; ++i) {
    data[4 * i] = rgb[3 * i + 2];
    data[4 * i + 1] = rgb[3 * i + 1];
    data[4 * i + 2] = rgb[3 * i];
    data[4 * i + 3] = 0;
  }
  free(rgb);
  XImage* image = XCreateImage(dpy, DefaultVisual(dpy, screen), (unsigned)depth, ZPixmap, 0, (char*)data,
                               (unsigned)w, (unsigned)h, 32, 4 * w);
  Pixmap pixmap = XCreatePixmap(dpy, root, (unsigned)w, (unsigned)h, (unsigned)depth);
  GC gc = XCreateGC(dpy, pixmap, 0, NULL);
  XPutImage(dpy, pixmap, gc, image, 0, 0, 0, 0, (unsigned)w, (unsigned)h);
  XFreeGC(dpy, gc);
  XSetWindowBackgroundPixmap(dpy, root, pixmap);
  XClearWindow(dpy, root);
  XSync(dpy, False);
  XDestroyImage(image); /* frees `data` too */
  signal(SIGTERM, onStop);
  signal(SIGINT, onStop);
  printf("ready 0x%lx\n", (unsigned long)root); /* the root window, for programs told to draw there */
  fflush(stdout);
  while (!stopping) pause();
  XCloseDisplay(dpy);
  return 0;
}

#include "x_shared_image.h"

#include <sys/ipc.h>
#include <X11/Xutil.h>
#include <sys/shm.h>

#include <cstddef>

#include "x_display.h"

XImage* SharedRootImage::read(Display* display, int x, int y, int width, int height) {
  release();
  if (width <= 0 || height <= 0 || !XShmQueryExtension(display)) return nullptr;
  display_ = display;
  const int screen = DefaultScreen(display);
  image_ = XShmCreateImage(display, DefaultVisual(display, screen), unsigned(DefaultDepth(display, screen)), ZPixmap,
                           nullptr, &segment_, unsigned(width), unsigned(height));
  if (!image_ || image_->bytes_per_line <= 0) {
    release();
    return nullptr;
  }
  segment_.shmid = shmget(IPC_PRIVATE, std::size_t(image_->bytes_per_line) * std::size_t(height), IPC_CREAT | 0600);
  if (segment_.shmid < 0) {
    release();
    return nullptr;
  }
  segment_.shmaddr = static_cast<char*>(shmat(segment_.shmid, nullptr, 0));
  // Marked for removal at once: it goes when both sides have detached, even if we die first.
  shmctl(segment_.shmid, IPC_RMID, nullptr);
  if (segment_.shmaddr == reinterpret_cast<char*>(-1)) {
    segment_.shmaddr = nullptr;
    release();
    return nullptr;
  }
  image_->data = segment_.shmaddr;
  segment_.readOnly = False;
  XErrorTrap trap(display);
  attached_ = XShmAttach(display, &segment_) != 0;
  const bool got = attached_ && trap.check() == 0 &&
                   XShmGetImage(display, RootWindow(display, screen), image_, x, y, AllPlanes) && trap.check() == 0;
  if (!got) {
    release();
    return nullptr;
  }
  return image_;
}

void SharedRootImage::release() {
  if (attached_) {
    XErrorTrap trap(display_);
    XShmDetach(display_, &segment_);
    trap.check();
    attached_ = false;
  }
  if (segment_.shmaddr) shmdt(segment_.shmaddr);
  segment_ = XShmSegmentInfo{};
  if (image_) {
    image_->data = nullptr;  // the shared memory, not the library's to free
    XDestroyImage(image_);
    image_ = nullptr;
  }
}

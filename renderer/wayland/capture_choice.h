// Which capture protocol a run uses, and the buffer a capture session's constraints ask for.
// No Wayland call here: the rules are tested alone.
#pragma once

#include <cstdint>
#include <vector>

// The ways to copy an output before we cover it, best first.
enum class CaptureSource {
  imageCopy,   // ext-image-copy-capture over ext-image-capture-source's output sources
  screencopy,  // wlr-screencopy
  none,        // no copy: the pieces show untextured
};

// The first source the compositor offers all the globals of.
CaptureSource chooseCaptureSource(bool imageCopyManager, bool outputSourceManager, bool screencopyManager);

// What an ext-image-copy-capture session's constraint events said: the batch ended by the
// last `done`, or the one coming in. The compositor sends every constraint again when they
// change, so the first event after a `done` begins a new batch.
struct BufferConstraints {
  std::uint32_t width = 0;  // buffer pixels
  std::uint32_t height = 0;
  std::vector<std::uint32_t> shmFormats;  // in the order offered
  bool complete = false;                  // a `done` ended the batch

  void onShmFormat(std::uint32_t format) {
    beginBatch();
    shmFormats.push_back(format);
  }
  void onBufferSize(std::uint32_t w, std::uint32_t h) {
    beginBatch();
    width = w;
    height = h;
  }
  // A dma-buf constraint: of no use to us, but part of the batch.
  void onDmabuf() { beginBatch(); }
  void onDone() { complete = true; }
  void clear() { *this = BufferConstraints(); }

 private:
  void beginBatch() {
    if (complete) clear();
  }
};

// A wl_shm buffer to copy into.
struct BufferShape {
  std::uint32_t format = 0;
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  std::uint32_t stride = 0;
};

// The buffer for these constraints: XRGB8888 or ARGB8888 when offered (the formats every
// compositor copies into without converting), else the first offered that we can read; packed
// rows. False when no format offered is readable, the size is empty, or the buffer would pass
// what a wl_shm pool can hold.
bool shapeBuffer(const BufferConstraints& constraints, BufferShape& shape);

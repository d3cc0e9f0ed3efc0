// The Wayland front-end's capture: which protocol copies the outputs, and the buffer an
// ext-image-copy-capture session's constraint events ask for.
#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "capture_choice.h"
#include "desktop_picture.h"

namespace {

using namespace shmformat;

TEST(CaptureChoice, ImageCopyNeedsBothItsGlobalsThenScreencopyThenNone) {
  struct Row {
    bool imageCopy, outputSources, screencopy;
    CaptureSource chosen;
  };
  const Row rows[] = {
      {true, true, true, CaptureSource::imageCopy},    // both protocols: the newer one
      {true, true, false, CaptureSource::imageCopy},
      {true, false, true, CaptureSource::screencopy},  // a manager with no output sources copies nothing
      {false, true, true, CaptureSource::screencopy},
      {false, false, true, CaptureSource::screencopy},
      {true, false, false, CaptureSource::none},
      {false, true, false, CaptureSource::none},
      {false, false, false, CaptureSource::none},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(chooseCaptureSource(r.imageCopy, r.outputSources, r.screencopy), r.chosen)
        << r.imageCopy << r.outputSources << r.screencopy;
  }
}

BufferConstraints batch(std::uint32_t width, std::uint32_t height, std::vector<std::uint32_t> formats) {
  BufferConstraints c;
  for (std::uint32_t f : formats) c.onShmFormat(f);
  c.onBufferSize(width, height);
  c.onDone();
  return c;
}

TEST(CaptureChoice, TheBufferTakesTheSizeAndAFormatEveryCompositorCopiesInto) {
  BufferShape shape;
  // XRGB8888 or ARGB8888 wherever they are in the list; packed rows.
  ASSERT_TRUE(shapeBuffer(batch(1920, 1080, {kAbgr8888, kRgb565, kArgb8888, kXrgb8888}), shape));
  EXPECT_EQ(shape.format, kArgb8888);
  EXPECT_EQ(shape.width, 1920u);
  EXPECT_EQ(shape.height, 1080u);
  EXPECT_EQ(shape.stride, 1920u * 4);
  // Neither offered: the first we can read, at its own pixel size.
  ASSERT_TRUE(shapeBuffer(batch(101, 7, {0x3231564e /* NV12 */, kBgr888, kRgb565}), shape));
  EXPECT_EQ(shape.format, kBgr888);
  EXPECT_EQ(shape.stride, 303u);
  ASSERT_TRUE(shapeBuffer(batch(768, 1024, {kRgb565}), shape));  // a turned output: its buffer's sides
  EXPECT_EQ(shape.stride, 768u * 2);
  EXPECT_EQ(shape.height, 1024u);
}

TEST(CaptureChoice, NoBufferForNothingReadableNoSizeOrMoreThanAPoolHolds) {
  BufferShape shape;
  EXPECT_FALSE(shapeBuffer(batch(640, 480, {}), shape));                        // dma-buf only
  EXPECT_FALSE(shapeBuffer(batch(640, 480, {0x3231564e, 0x56595559}), shape));  // NV12, YUYV
  EXPECT_FALSE(shapeBuffer(batch(0, 480, {kXrgb8888}), shape));
  EXPECT_FALSE(shapeBuffer(batch(640, 0, {kXrgb8888}), shape));
  BufferConstraints none;  // no buffer_size came at all
  none.onShmFormat(kXrgb8888);
  none.onDone();
  EXPECT_FALSE(shapeBuffer(none, shape));
  // 32768 x 16384 x 4 bytes is 2 GiB: past what a wl_shm pool's int32 size can say.
  EXPECT_FALSE(shapeBuffer(batch(32768, 16384, {kXrgb8888}), shape));
  EXPECT_FALSE(shapeBuffer(batch(0xffffffffu, 0xffffffffu, {kXrgb8888}), shape));
  EXPECT_TRUE(shapeBuffer(batch(16384, 8192, {kXrgb8888}), shape));  // 512 MiB still fits
}

TEST(CaptureChoice, ConstraintsSentAgainReplaceTheOldBatchWhole) {
  BufferConstraints c = batch(1024, 768, {kXrgb8888, kArgb8888});
  // The output changed mode: a new batch, with a format of its own.
  c.onShmFormat(kRgb565);
  EXPECT_FALSE(c.complete);
  c.onBufferSize(800, 600);
  c.onDone();
  EXPECT_TRUE(c.complete);
  BufferShape shape;
  ASSERT_TRUE(shapeBuffer(c, shape));
  EXPECT_EQ(shape.format, kRgb565);  // the old batch's XRGB8888 is no longer offered
  EXPECT_EQ(shape.width, 800u);
  // A batch that opens with a dma-buf constraint drops the old formats and size too.
  c.onDmabuf();
  c.onShmFormat(kXbgr8888);
  c.onDone();
  EXPECT_FALSE(shapeBuffer(c, shape));  // no buffer_size in this batch
  // Within one batch, events add up in any order.
  BufferConstraints d;
  d.onBufferSize(10, 10);
  d.onDmabuf();
  d.onShmFormat(kXbgr8888);
  d.onShmFormat(kXrgb8888);
  d.onDone();
  ASSERT_TRUE(shapeBuffer(d, shape));
  EXPECT_EQ(shape.format, kXrgb8888);
}

}  // namespace

// The snapshot texture against the recording GL stand-in and in-memory files: the exact
// calls of create and load, what reaches the mipmap builder, and that every refused file
// leaves one empty texture, a closed file and no memory behind.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include <cstdlib>
#include <new>

#include "bitmap_samples.h"
#include "file_stand_in.h"
#include "gl_recorder.h"
#include "scene.h"
#include "texture.h"

namespace {

const char kPath[] = "C:\\velk_temp\\Glassfall.alo";

// The reader takes its two buffers with nothrow new[]; these replacements keep a record of
// the blocks so handed out that have not been given back.
constexpr int kTracked = 16;
void* trackedBlocks[kTracked];
int trackedAllocations = 0;

int liveBuffers() {
  int n = 0;
  for (void* p : trackedBlocks) n += p != nullptr;
  return n;
}

class TextureTest : public ::testing::Test {
 protected:
  void SetUp() override {
    trackedAllocations = 0;
    for (void*& slot : trackedBlocks) slot = nullptr;
    filestub::reset();
    glrec::resetTextures();
    glrec::clear();
  }
  void TearDown() override { texture.release(); }

  std::vector<std::string> callsFrom(std::size_t first) {
    std::vector<std::string> l = glrec::lines();
    return std::vector<std::string>(l.begin() + std::ptrdiff_t(first), l.end());
  }

  Texture texture;
};

}  // namespace

TEST_F(TextureTest, CreateMakesABoundRepeatingTrilinearTexture) {
  EXPECT_TRUE(texture.create("first"));
  EXPECT_EQ(glrec::lines(), (std::vector<std::string>{
                                "glGenTextures(1)", "glBindTexture(3553,1)",
                                "glTexParameterf(3553,10242,10497)", "glTexParameterf(3553,10243,10497)",
                                "glTexParameterf(3553,10240,9729)", "glTexParameterf(3553,10241,9987)"}));
  EXPECT_EQ(texture.glName, 2);  // name + 1
  EXPECT_STREQ(texture.fileName, "first");

  // A second create gives the old name back first.
  glrec::clear();
  texture.create("second");
  const std::vector<std::string> l = glrec::lines();
  ASSERT_GE(l.size(), 2u);
  EXPECT_EQ(l[0], "glDeleteTextures(1,1)");
  EXPECT_EQ(l[1], "glGenTextures(1)");
  EXPECT_EQ(glrec::liveTextures(), 1);
  EXPECT_EQ(texture.glName, 3);
  EXPECT_STREQ(texture.fileName, "second");
}

TEST_F(TextureTest, LongFileNameIsCutToTheField) {
  const std::string longName(100, 'x');
  texture.create(longName.c_str());
  EXPECT_EQ(std::string(texture.fileName), std::string(63, 'x'));
}

TEST_F(TextureTest, LoadUploadsTheRowsAsStoredWithUnpackAlignmentFour) {
  const samples::Bytes file = samples::bitmap(1022, 3, false);  // size field 0: computed
  filestub::put(kPath, file);
  ASSERT_TRUE(texture.load(kPath));

  const std::vector<std::string> l = glrec::lines();
  std::vector<std::string> expected = {
      "glGenTextures(1)",
      "glBindTexture(3553,1)",
      "glTexParameterf(3553,10242,10497)",
      "glTexParameterf(3553,10243,10497)",
      "glTexParameterf(3553,10240,9729)",
      "glTexParameterf(3553,10241,9987)",
      "glPixelStorei(3317,4)",
      "glPixelStorei(3314,0)",
      "glPixelStorei(3315,0)",
      "glPixelStorei(3316,0)",
      // Does the level below 1024 x 4 fit? Then 1024 x 4 and its halvings down to 1 x 1.
      "glTexImage2D(32868,1,3,512,2,0,6408,5121)",
      "glGetTexLevelParameteriv(32868,1,4096)",
  };
  for (int level = 0, w = 1024, h = 4; level <= 10; ++level, w = std::max(w / 2, 1), h = std::max(h / 2, 1))
    expected.push_back("glTexImage2D(3553," + std::to_string(level) + ",3," + std::to_string(w) + "," +
                       std::to_string(h) + ",0,32993,5121)");
  EXPECT_EQ(l, expected);
  EXPECT_EQ(texture.width, 1022);
  EXPECT_EQ(texture.height, 3);

  EXPECT_EQ(filestub::readRequests(), (std::vector<std::size_t>{14, 40, 3 * 3068}));
  EXPECT_EQ(trackedAllocations, 2);  // info block and pixels, and both given back
  EXPECT_EQ(liveBuffers(), 0);
  EXPECT_EQ(filestub::opens(), 1);
  EXPECT_EQ(filestub::openNow(), 0);
}

// A picture whose sides are powers of two is level 0 pixel for pixel, as the rows are stored.
TEST_F(TextureTest, PowerOfTwoPictureIsLevelZeroAsStored) {
  const samples::Bytes file = samples::bitmap(8, 2);
  filestub::put(kPath, file);
  ASSERT_TRUE(texture.load(kPath));
  const std::vector<glrec::LevelUpload>& up = glrec::uploads();
  ASSERT_EQ(up.size(), 4u);  // 8 x 2, 4 x 1, 2 x 1, 1 x 1
  EXPECT_EQ(up[0].pixels, samples::asLevel(samples::Bytes(file.begin() + 54, file.end()), 8, 2));
  const int sizes[4][2] = {{8, 2}, {4, 1}, {2, 1}, {1, 1}};
  for (int level = 0; level < 4; ++level) {
    EXPECT_EQ(up[level].level, level);
    EXPECT_EQ(up[level].components, 3);
    EXPECT_EQ(up[level].width, sizes[level][0]);
    EXPECT_EQ(up[level].height, sizes[level][1]);
    EXPECT_EQ(up[level].format, 0x80E1u);  // GL_BGRA_EXT
    EXPECT_EQ(up[level].type, 0x1401u);
  }
}

TEST_F(TextureTest, TwoLoadsInARowLeaveOneTextureName) {
  filestub::put(kPath, samples::bitmap(4, 4));
  ASSERT_TRUE(texture.load(kPath));
  const int first = texture.glName;
  ASSERT_TRUE(texture.load(kPath));
  EXPECT_EQ(glrec::liveTextures(), 1);
  EXPECT_NE(texture.glName, first);
  EXPECT_EQ(glrec::named("glDeleteTextures").size(), 1u);
  EXPECT_EQ(filestub::openNow(), 0);
  EXPECT_EQ(filestub::closes(), 2);
}

TEST_F(TextureTest, MissingFolderOrLockedFileGivesAnEmptyTexture) {
  EXPECT_FALSE(texture.load(kPath));  // no such file
  filestub::unopenable(kPath);        // a folder there, or held exclusively by another program
  EXPECT_FALSE(texture.load(kPath));
  EXPECT_EQ(filestub::opens(), 0);
  EXPECT_EQ(glrec::liveTextures(), 1);
  EXPECT_NE(texture.glName, 0);
  EXPECT_EQ(glrec::chainsBuilt(), 0);
}

TEST_F(TextureTest, DestructorGivesTheNameBack) {
  {
    Texture local;
    local.create("x");
    EXPECT_EQ(glrec::liveTextures(), 1);
  }
  EXPECT_EQ(glrec::liveTextures(), 0);
}

class TextureRefusal : public TextureTest, public ::testing::WithParamInterface<BadCase> {};

TEST_P(TextureRefusal, FalseClosedFreedOneEmptyTexture) {
  filestub::reset();
  filestub::put(kPath, GetParam().bytes);
  glrec::clear();

  EXPECT_FALSE(texture.load(kPath));

  EXPECT_EQ(filestub::opens(), 1);
  EXPECT_EQ(filestub::closes(), 1);
  EXPECT_EQ(filestub::openNow(), 0);
  EXPECT_EQ(liveBuffers(), 0) << "a buffer outlived the load";
  EXPECT_EQ(glrec::liveTextures(), 1);
  EXPECT_NE(texture.glName, 0);
  EXPECT_EQ(glrec::chainsBuilt(), 0);
  EXPECT_TRUE(glrec::named("glPixelStorei").empty());
  EXPECT_LE(filestub::readRequests().size(), 3u);
}

INSTANTIATE_TEST_SUITE_P(BadInput, TextureRefusal, ::testing::ValuesIn(badBitmaps()),
                         [](const ::testing::TestParamInfo<BadCase>& info) {
                           std::string n = info.param.name;
                           for (char& ch : n)
                             if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
                           return n;
                         });

// The reset's texture steps, after the view set-up: load, enable texturing, bind.
TEST_F(TextureTest, ResetLoadsEnablesAndBindsTheSnapshot) {
  snapshotTexture.release();  // earlier resets left it holding a name
  glrec::clear();
  filestub::put(kSnapshotPath, samples::bitmap(8, 6));
  resetScene();
  std::vector<std::string> l = glrec::lines();
  ASSERT_GE(l.size(), 8u + 16u + 2u);
  l.erase(l.begin(), l.begin() + 8);  // viewport .. depth test
  const std::string name = std::to_string(snapshotTexture.glName - 1);
  EXPECT_EQ(l[0], "glGenTextures(1)");
  EXPECT_EQ(l[1], "glBindTexture(3553," + name + ")");
  // 8 x 6 becomes 8 x 8: the proxy question, then four levels.
  EXPECT_EQ(l[10], "glTexImage2D(32868,1,3,4,4,0,6408,5121)");
  EXPECT_EQ(l[12], "glTexImage2D(3553,0,3,8,8,0,32993,5121)");
  EXPECT_EQ(l[15], "glTexImage2D(3553,3,3,1,1,0,32993,5121)");
  EXPECT_EQ(l[16], "glEnable(3553)");
  EXPECT_EQ(l[17], "glBindTexture(3553," + name + ")");
  EXPECT_EQ(l.size(), 18u);

  // An unreadable file: the same steps without the upload; still one name, bound.
  filestub::put(kSnapshotPath, samples::cut(samples::bitmap(8, 6), 60));
  glrec::clear();
  resetScene();
  l = glrec::lines();
  l.erase(l.begin(), l.begin() + 8);
  const std::string fresh = std::to_string(snapshotTexture.glName - 1);
  ASSERT_EQ(l.size(), 9u);
  EXPECT_EQ(l[0], "glDeleteTextures(1," + name + ")");
  EXPECT_EQ(l[7], "glEnable(3553)");
  EXPECT_EQ(l[8], "glBindTexture(3553," + fresh + ")");
  EXPECT_EQ(glrec::liveTextures(), 1);
  EXPECT_EQ(filestub::openNow(), 0);
  snapshotTexture.release();
}

// A restart on an unchanged snapshot keeps the texture: the file is opened only to look at
// its stamp, nothing is read or built, and the same name stays bound.
TEST_F(TextureTest, RefreshKeepsTheTextureOfAnUnchangedFile) {
  filestub::put(kPath, samples::bitmap(6, 4));
  ASSERT_TRUE(texture.refresh(kPath));
  const int built = texture.glName;
  ASSERT_EQ(glrec::chainsBuilt(), 1);

  glrec::clear();
  const std::size_t readsBefore = filestub::readRequests().size();
  for (int reset = 0; reset < 3; ++reset) EXPECT_TRUE(texture.refresh(kPath));
  EXPECT_TRUE(glrec::lines().empty());
  EXPECT_EQ(filestub::readRequests().size(), readsBefore);
  EXPECT_EQ(texture.glName, built);
  EXPECT_EQ(texture.width, 6);
  EXPECT_EQ(filestub::opens(), 4);
  EXPECT_EQ(filestub::openNow(), 0);

  // A plain load still builds anew.
  EXPECT_TRUE(texture.load(kPath));
  EXPECT_EQ(glrec::chainsBuilt(), 1);
}

// Anything that tells the file apart rebuilds: new bytes, the same bytes written again, the
// same size with another time, another file in its place with the old time.
TEST_F(TextureTest, RefreshRebuildsWhenTheFileChanged) {
  filestub::put(kPath, samples::bitmap(6, 4));
  ASSERT_TRUE(texture.refresh(kPath));
  int builds = 1;
  auto rebuilt = [&] {
    glrec::clear();
    const int before = texture.glName;
    EXPECT_TRUE(texture.refresh(kPath));
    const bool fresh = glrec::chainsBuilt() == 1 && texture.glName != before;
    builds += fresh;
    EXPECT_EQ(glrec::liveTextures(), 1);
    return fresh;
  };
  filestub::put(kPath, samples::bitmap(8, 4));
  EXPECT_TRUE(rebuilt()) << "new size";
  ASSERT_FALSE(glrec::uploads().empty());
  EXPECT_EQ(glrec::uploads().back().level, 3);  // 8 x 4 down to 1 x 1
  EXPECT_EQ(glrec::uploads()[glrec::uploads().size() - 4].width, 8);
  filestub::put(kPath, samples::bitmap(8, 4));
  EXPECT_TRUE(rebuilt()) << "written again";
  const std::int64_t time = filestub::lastWrite(kPath);
  filestub::replace(kPath, samples::bitmap(8, 4), time);
  EXPECT_TRUE(rebuilt()) << "another file with the same size and time";
  EXPECT_FALSE(rebuilt()) << "then unchanged";
  EXPECT_EQ(builds, 4);
}

// An unreadable snapshot gives the untextured look at every restart, also after a good one,
// and a refused file is read again rather than kept as refused.
TEST_F(TextureTest, RefreshOfAnUnreadableFileGivesAnEmptyTexture) {
  filestub::put(kPath, samples::bitmap(6, 4));
  ASSERT_TRUE(texture.refresh(kPath));
  filestub::unopenable(kPath);
  EXPECT_FALSE(texture.refresh(kPath));
  EXPECT_EQ(glrec::liveTextures(), 1);
  filestub::remove(kPath);
  EXPECT_FALSE(texture.refresh(kPath));

  filestub::put(kPath, samples::cut(samples::bitmap(6, 4), 60));
  EXPECT_FALSE(texture.refresh(kPath));
  const std::size_t reads = filestub::readRequests().size();
  EXPECT_FALSE(texture.refresh(kPath));
  EXPECT_GT(filestub::readRequests().size(), reads);
  EXPECT_EQ(filestub::openNow(), 0);
  EXPECT_EQ(glrec::liveTextures(), 1);

  // Good again: textured again.
  filestub::put(kPath, samples::bitmap(6, 4));
  glrec::clear();
  EXPECT_TRUE(texture.refresh(kPath));
  EXPECT_EQ(glrec::chainsBuilt(), 1);
}

// The restart of an unchanged snapshot: view set-up, enable and bind of the kept texture.
TEST_F(TextureTest, ResetOfAnUnchangedSnapshotOnlyBindsTheTexture) {
  snapshotTexture.release();
  filestub::put(kSnapshotPath, samples::bitmap(8, 6));
  resetScene();
  const std::string name = std::to_string(snapshotTexture.glName - 1);
  glrec::clear();
  resetScene();
  std::vector<std::string> l = glrec::lines();
  ASSERT_EQ(l.size(), 10u);
  EXPECT_EQ(l[8], "glEnable(3553)");
  EXPECT_EQ(l[9], "glBindTexture(3553," + name + ")");
  snapshotTexture.release();
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
  void* p = std::malloc(size ? size : 1);
  ++trackedAllocations;
  for (void*& slot : trackedBlocks)
    if (!slot) {
      slot = p;
      break;
    }
  return p;
}
// The plain form too goes to malloc, untracked: the array delete below frees every array,
// including the standard library's own buffers (a file stream's), which come from it.
void* operator new[](std::size_t size) {
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void operator delete[](void* p) noexcept {
  for (void*& slot : trackedBlocks)
    if (p && slot == p) slot = nullptr;
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept { operator delete[](p); }

// A picture held in memory takes the file's place at every reset: the same upload, no file.
TEST_F(TextureTest, ResetTakesAPictureFromMemoryInsteadOfTheFile) {
  // Sides that are powers of two: the rows in memory are level 0 pixel for pixel.
  const samples::Bytes rows = samples::pixelPattern(samples::rowBytes(4) * 2);
  PictureRows picture;
  picture.width = 4;
  picture.height = 2;
  picture.data = rows.data();
  filestub::put(kSnapshotPath, samples::bitmap(8, 6));
  usePictureFromMemory(&picture);
  snapshotTexture.release();
  glrec::clear();

  resetScene();
  const double built = snapshotTexture.glName;
  resetScene();  // the 401-frame restart keeps what it built from the same memory
  EXPECT_EQ(filestub::opens(), 0);
  EXPECT_EQ(glrec::liveTextures(), 1);
  EXPECT_EQ(glrec::chainsBuilt(), 1);
  EXPECT_EQ(snapshotTexture.glName, built);
  EXPECT_EQ(glrec::named("glBindTexture").back().args[1], double(snapshotTexture.glName - 1));
  // Handed over again (maybe changed in place), the picture is built anew.
  usePictureFromMemory(&picture);
  resetScene();
  EXPECT_EQ(glrec::chainsBuilt(), 2);
  EXPECT_EQ(glrec::liveTextures(), 1);
  const std::vector<glrec::LevelUpload>& up = glrec::uploads();
  ASSERT_EQ(up.size(), 6u);  // two chains of 4 x 2, 2 x 1, 1 x 1
  EXPECT_EQ(up[3].level, 0);
  EXPECT_EQ(up[3].width, 4);
  EXPECT_EQ(up[3].height, 2);
  EXPECT_EQ(up[3].format, 0x80E1u);  // GL_BGRA_EXT
  EXPECT_EQ(up[3].pixels, samples::asLevel(rows, 4, 2));
  const std::vector<GlCall> align = glrec::named("glPixelStorei");
  ASSERT_EQ(align.size(), 8u);
  EXPECT_EQ(align[0].args[1], 4);  // rows padded to 4 bytes, as in the file

  // No picture at all: a fresh empty texture, bound, so the pieces show untextured.
  PictureRows none;
  usePictureFromMemory(&none);
  glrec::clear();
  resetScene();
  EXPECT_EQ(glrec::chainsBuilt(), 0);
  EXPECT_EQ(glrec::liveTextures(), 1);
  EXPECT_EQ(glrec::named("glBindTexture").back().args[1], double(snapshotTexture.glName - 1));

  // Handing back nullptr returns to the snapshot file.
  usePictureFromMemory(nullptr);
  glrec::clear();
  resetScene();
  EXPECT_EQ(filestub::opens(), 1);
  ASSERT_GE(glrec::uploads().size(), 4u);
  EXPECT_EQ(glrec::uploads()[glrec::uploads().size() - 4].width, 8);  // 8 x 8 .. 1 x 1
}

// The file read ahead (on the front-end's thread, while it made its window) is what the first
// load uploads, without reading the file a second time; a file that changed since, or another
// file, is read again, and an offer is used at most once.
TEST_F(TextureTest, ReadAheadIsUploadedOnlyWhileTheFileIsUnchanged) {
  const samples::Bytes first = samples::bitmap(8, 2);
  filestub::put(kPath, first);
  auto ahead = std::make_unique<PictureReadAhead>();
  readPictureAhead(kPath, *ahead);
  EXPECT_EQ(ahead->status, BitmapStatus::ok);
  EXPECT_EQ(filestub::openNow(), 0);
  const std::size_t readsAhead = filestub::readRequests().size();
  texture.offerReadAhead(std::move(ahead));
  ASSERT_TRUE(texture.refresh(kPath));
  EXPECT_EQ(filestub::readRequests().size(), readsAhead) << "the pixels read ahead were used";
  ASSERT_FALSE(glrec::uploads().empty());
  EXPECT_EQ(glrec::uploads()[0].pixels, samples::asLevel(samples::Bytes(first.begin() + 54, first.end()), 8, 2));
  EXPECT_EQ(texture.width, 8);
  EXPECT_EQ(texture.height, 2);
  EXPECT_EQ(filestub::openNow(), 0);

  // Written again after the read ahead: the new contents, read from the file.
  texture.release();
  ahead = std::make_unique<PictureReadAhead>();
  readPictureAhead(kPath, *ahead);
  const samples::Bytes second = samples::bitmap(4, 4);
  filestub::put(kPath, second);
  texture.offerReadAhead(std::move(ahead));
  glrec::clear();
  ASSERT_TRUE(texture.load(kPath));
  ASSERT_FALSE(glrec::uploads().empty());
  EXPECT_EQ(glrec::uploads()[0].pixels, samples::asLevel(samples::Bytes(second.begin() + 54, second.end()), 4, 4));
  EXPECT_EQ(texture.width, 4);

  // Read ahead under another name: the file asked for is read.
  ahead = std::make_unique<PictureReadAhead>();
  filestub::put("other.bmp", first);
  readPictureAhead("other.bmp", *ahead);
  texture.offerReadAhead(std::move(ahead));
  const std::size_t before = filestub::readRequests().size();
  ASSERT_TRUE(texture.load(kPath));
  EXPECT_GT(filestub::readRequests().size(), before);
  EXPECT_EQ(texture.width, 4);
}

// A read ahead that the file refused refuses the load the same way, and the next load reads
// the file again.
TEST_F(TextureTest, RefusedReadAheadGivesAnEmptyTextureAndIsNotKept) {
  filestub::put(kPath, samples::cut(samples::bitmap(6, 4), 60));
  auto ahead = std::make_unique<PictureReadAhead>();
  readPictureAhead(kPath, *ahead);
  EXPECT_NE(ahead->status, BitmapStatus::ok);
  texture.offerReadAhead(std::move(ahead));
  const std::size_t before = filestub::readRequests().size();
  EXPECT_FALSE(texture.refresh(kPath));
  EXPECT_EQ(filestub::readRequests().size(), before);
  EXPECT_NE(texture.glName, 0);  // a fresh, empty texture: the pieces show untextured
  EXPECT_TRUE(glrec::uploads().empty());
  EXPECT_EQ(liveBuffers(), 0);
  EXPECT_FALSE(texture.refresh(kPath));
  EXPECT_GT(filestub::readRequests().size(), before);
  EXPECT_EQ(filestub::openNow(), 0);
}

// The election of one music player: real locks on real files, across processes.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "process_lock.h"

namespace {

struct ProcessLockTest : ::testing::Test {
  std::string dir;
  std::string path;
  void SetUp() override {
    char pattern[] = "/tmp/gflock-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    path = dir + "/glassfall-music.lock";
  }
  void TearDown() override {
    unlink(path.c_str());
    rmdir(dir.c_str());
  }
};

TEST_F(ProcessLockTest, FirstTakesTheOthersWaitUntilItGoes) {
  auto first = std::make_unique<ProcessLock>(path);
  ProcessLock second(path);
  EXPECT_TRUE(first->take());
  EXPECT_TRUE(first->held());
  EXPECT_FALSE(second.take());
  EXPECT_FALSE(second.take()) << "asking again changes nothing";
  EXPECT_TRUE(first->take()) << "the holder keeps it";
  first.reset();
  EXPECT_TRUE(second.take());
  EXPECT_TRUE(second.held());
}

// Another process holds it; when that process ends (killed, not cleaned up), the lock is free.
TEST_F(ProcessLockTest, LockGoesWithItsProcess) {
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ProcessLock lock(path);
    const char held = lock.take() ? 'y' : 'n';
    if (write(ready[1], &held, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char held = 0;
  ASSERT_EQ(read(ready[0], &held, 1), 1);
  EXPECT_EQ(held, 'y');
  ProcessLock mine(path);
  EXPECT_FALSE(mine.take());
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_TRUE(mine.take());
  EXPECT_TRUE(mine.held());
  close(ready[0]);
  close(ready[1]);
}

// A link put in the lock's place is not followed, and a folder that cannot hold the file
// elects nobody: the process plays rather than leave every monitor silent.
TEST_F(ProcessLockTest, UnusableLockFileLetsThisProcessPlay) {
  const std::string target = dir + "/elsewhere";
  ASSERT_EQ(symlink(target.c_str(), path.c_str()), 0);
  ProcessLock linked(path);
  EXPECT_TRUE(linked.take());
  EXPECT_FALSE(linked.held());
  struct stat info;
  EXPECT_NE(lstat(target.c_str(), &info), 0) << "the link's target must not be made";

  ProcessLock nowhere(dir + "/no/such/folder/glassfall-music.lock");
  EXPECT_TRUE(nowhere.take());
  EXPECT_FALSE(nowhere.held());
}

TEST(ProcessLockPath, RuntimeFolderOrAPerUserNameInTmp) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved ? saved : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  EXPECT_EQ(playerLockPath(), "/run/user/1000/glassfall-music.lock");
  EXPECT_EQ(runLockPath(), "/run/user/1000/glassfall-run.lock");
  const std::string own = "/tmp/glassfall-music-" + std::to_string(geteuid()) + ".lock";
  setenv("XDG_RUNTIME_DIR", "relative/dir", 1);
  EXPECT_EQ(playerLockPath(), own);
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(playerLockPath(), own);
  EXPECT_EQ(runLockPath(), "/tmp/glassfall-run-" + std::to_string(geteuid()) + ".lock");
  if (saved) setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

}  // namespace

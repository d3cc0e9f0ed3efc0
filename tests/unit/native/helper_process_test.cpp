// The clean way out of the native program: a stop signal only wakes the loop, and a helper
// process is ended with everything it started and reaped, whether it finished or not.
#include <gtest/gtest.h>

#include <csignal>
#include <fcntl.h>
#include <fstream>
#include <poll.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "helper_process.h"
#include "standard_streams.h"
#include "stop_signals.h"

namespace {

bool alive(pid_t pid) { return kill(pid, 0) == 0; }

// The state letter in /proc/PID/stat: 'Z' for a zombie; empty when there is no such process.
std::string procState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  std::getline(stat, text);
  const std::size_t close = text.rfind(')');
  return close == std::string::npos || close + 2 >= text.size() ? std::string() : text.substr(close + 2, 1);
}

// Reads the pid a helper script wrote to a file, waiting for it to appear.
pid_t readPid(const std::string& path) {
  for (int i = 0; i < 500; ++i) {
    std::ifstream in(path);
    pid_t pid = 0;
    if (in >> pid && pid > 0) return pid;
    usleep(10000);
  }
  return -1;
}

std::string tempPath(const char* name) {
  return std::string(::testing::TempDir()) + "/" + name + "_" + std::to_string(getpid());
}

}  // namespace

TEST(StopSignals, TermAndIntOnlySetTheFlagAndWakeThePoll) {
  ASSERT_TRUE(stopsignals::install());
  for (int sig : {SIGTERM, SIGINT}) {
    stopsignals::clearForTest();
    EXPECT_FALSE(stopsignals::requested());
    ASSERT_EQ(raise(sig), 0);  // would end the test binary if the handler were not in place
    EXPECT_TRUE(stopsignals::requested()) << sig;
    pollfd wake = {stopsignals::wakeDescriptor(), POLLIN, 0};
    EXPECT_EQ(poll(&wake, 1, 0), 1) << "the loop's wait would not wake";
  }
  stopsignals::clearForTest();
}

// A second request while the first is pending ends the process at once, by the signal, so
// that a program stuck on its way out can still be ended.
TEST(StopSignals, SecondRequestEndsTheProcessAtOnce) {
  for (int sig : {SIGTERM, SIGINT}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      if (!stopsignals::install()) _exit(3);
      stopsignals::clearForTest();
      raise(sig);
      if (!stopsignals::requested()) _exit(4);
      raise(sig);
      _exit(0);  // still here: the second request did nothing
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << "signal " << sig << ", status " << status;
  }
}

TEST(HelperProcess, StopEndsTheHelperAndWhatItStartedAndReapsIt) {
  const std::string pidFile = tempPath("grandchild");
  unlink(pidFile.c_str());
  HelperProcess helper;
  // A helper that starts a child of its own and then waits on it, as the image grabber does.
  ASSERT_TRUE(helper.start("/bin/sh", {"-c", "sleep 30 & echo $! > " + pidFile + "; wait"}));
  const pid_t pid = helper.pid();
  const pid_t grandchild = readPid(pidFile);
  ASSERT_GT(grandchild, 0);
  EXPECT_EQ(helper.poll(), HelperProcess::State::running);

  helper.stop();
  EXPECT_EQ(helper.poll(), HelperProcess::State::failed);
  EXPECT_FALSE(alive(pid)) << "helper left behind";
  EXPECT_EQ(procState(pid), "");  // reaped, not a zombie
  // The grandchild's parent was the helper: once killed it is reaped by init, if at all.
  for (int i = 0; i < 200 && alive(grandchild) && procState(grandchild) != "Z"; ++i) usleep(10000);
  EXPECT_TRUE(!alive(grandchild) || procState(grandchild) == "Z") << "the helper's own child outlived it";
  unlink(pidFile.c_str());
}

TEST(HelperProcess, StopGetsPastAHelperThatIgnoresTerm) {
  HelperProcess helper;
  ASSERT_TRUE(helper.start("/bin/sh", {"-c", "trap '' TERM; while :; do sleep 0.05; done"}));
  const pid_t pid = helper.pid();
  usleep(50000);
  helper.stop();
  EXPECT_FALSE(alive(pid));
  EXPECT_EQ(procState(pid), "");
}

TEST(HelperProcess, FinishedHelperIsReapedWithItsOutcome) {
  HelperProcess ok, failing, missing;
  ASSERT_TRUE(ok.start("/bin/true", {}));
  ASSERT_TRUE(failing.start("/bin/sh", {"-c", "exit 3"}));
  ASSERT_TRUE(missing.start("/nonexistent/helper", {}));  // exec fails in the child
  const pid_t okPid = ok.pid();
  for (int i = 0; i < 500; ++i) {
    if (ok.poll() != HelperProcess::State::running && failing.poll() != HelperProcess::State::running &&
        missing.poll() != HelperProcess::State::running)
      break;
    usleep(10000);
  }
  EXPECT_EQ(ok.poll(), HelperProcess::State::succeeded);
  EXPECT_EQ(failing.poll(), HelperProcess::State::failed);
  EXPECT_EQ(missing.poll(), HelperProcess::State::failed);
  EXPECT_EQ(procState(okPid), "");
  ok.stop();  // nothing left to stop
  EXPECT_EQ(ok.poll(), HelperProcess::State::succeeded);
}

TEST(HelperProcess, DestructionStopsARunningHelper) {
  pid_t pid;
  {
    HelperProcess helper;
    ASSERT_TRUE(helper.start("/bin/sleep", {"30"}));
    pid = helper.pid();
  }
  EXPECT_FALSE(alive(pid));
}

TEST(FindProgram, SearchesThePathThenTheFallbackFolder) {
  const std::string dir = tempPath("bin");
  mkdir(dir.c_str(), 0755);
  const std::string tool = dir + "/gf-tool";
  { std::ofstream(tool) << "#!/bin/sh\n"; }
  chmod(tool.c_str(), 0755);
  const std::string plain = dir + "/gf-plain";
  { std::ofstream(plain) << "not executable\n"; }

  EXPECT_EQ(findProgram("gf-tool", ("/nonexistent:" + dir).c_str(), ""), tool);
  EXPECT_EQ(findProgram("gf-tool", "/nonexistent", dir), tool);
  EXPECT_EQ(findProgram("gf-tool", nullptr, dir), tool);
  EXPECT_EQ(findProgram("gf-plain", dir.c_str(), dir), "");
  EXPECT_EQ(findProgram("gf-missing", dir.c_str(), dir), "");
  EXPECT_EQ(findProgram(tool, "", ""), tool);  // a path is taken as it is
  EXPECT_EQ(findProgram(dir, "", ""), "");     // a folder is not a program
  unlink(tool.c_str());
  unlink(plain.c_str());
  rmdir(dir.c_str());
}

// Started with 0, 1 and 2 closed (as a daemon may start us), the program gets /dev/null on
// each, so nothing it opens later takes their numbers; open ones are left alone.
TEST(StandardStreams, ClosedOnesAreOpenedOnDevNullAndOpenOnesKept) {
  struct stat null;
  ASSERT_EQ(stat("/dev/null", &null), 0);
  for (const int keep : {-1, 1}) {
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Exit codes say what went wrong: the child cannot use gtest's output.
      struct stat before = {};
      if (keep >= 0) fstat(keep, &before);
      for (int fd = 0; fd <= 2; ++fd)
        if (fd != keep) close(fd);
      if (!standardstreams::ensureOpen()) _exit(10);
      for (int fd = 0; fd <= 2; ++fd) {
        struct stat now;
        if (fstat(fd, &now) != 0) _exit(20 + fd);
        const bool isNull = now.st_rdev == null.st_rdev && S_ISCHR(now.st_mode);
        if (fd == keep ? now.st_ino != before.st_ino : !isNull) _exit(30 + fd);
      }
      const int next = open("/dev/null", O_RDONLY);
      _exit(next > 2 ? 0 : 40);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "kept " << keep;
  }
}

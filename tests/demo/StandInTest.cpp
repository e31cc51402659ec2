// Runs the host stand-in as the installer's tests do: as a separate process that holds
// Config.ldb locked until it is told to end.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

extern char** environ;

namespace qz::demo {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// Starts `program` with `args`; `input` and `output`, when not -1, become its standard
// input and output.
pid_t Spawn(const std::string& program, std::vector<std::string> args, int input = -1,
            int output = -1) {
  args.insert(args.begin(), program);
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
  if (output >= 0) posix_spawn_file_actions_adddup2(&actions, output, STDOUT_FILENO);
  pid_t pid = -1;
  int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return error == 0 ? pid : -1;
}

// The exit status of `pid`, or -1 when it has not ended within 10 seconds (it is then
// killed, so that no test leaves a stray process).
int ExitStatus(pid_t pid) {
  int status = 0;
  for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(10ms)) {
    if (waitpid(pid, &status, WNOHANG) == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  kill(pid, SIGKILL);
  waitpid(pid, &status, 0);
  return -1;
}

bool AppearsWithin10Seconds(const std::string& file) {
  for (auto end = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < end;
       std::this_thread::sleep_for(10ms)) {
    if (fs::exists(file) && fs::file_size(file) > 0) return true;
  }
  return false;
}

class StandInTest : public ::testing::Test {
 protected:
  pid_t Start(std::vector<std::string> extra = {}, int input = -1) {
    std::vector<std::string> args = {"--folder", temp_.Path(), "--ready-file", temp_ / "ready"};
    args.insert(args.end(), extra.begin(), extra.end());
    pid_t pid = Spawn(QZ_STANDIN_PATH, args, input);
    EXPECT_GT(pid, 0);
    EXPECT_TRUE(AppearsWithin10Seconds(temp_ / "ready"));
    return pid;
  }

  test::TempDir temp_;
};

TEST_F(StandInTest, HoldsConfigLdbWithBothKindsOfLockUntilTerminatedAndLeavesTheFile) {
  pid_t pid = Start();
  EXPECT_EQ(temp_.Read("ready"), std::to_string(pid) + "\n");

  int fd = open((temp_ / "Config.ldb").c_str(), O_RDWR);
  ASSERT_GE(fd, 0);
  EXPECT_NE(flock(fd, LOCK_EX | LOCK_NB), 0);
  struct flock probe {};
  probe.l_type = F_WRLCK;
  probe.l_whence = SEEK_SET;
  ASSERT_EQ(fcntl(fd, F_GETLK, &probe), 0);
  EXPECT_EQ(probe.l_type, F_WRLCK);
  EXPECT_EQ(probe.l_pid, pid);

  kill(pid, SIGTERM);
  EXPECT_EQ(ExitStatus(pid), 0);
  EXPECT_TRUE(temp_.Exists("Config.ldb"));
  EXPECT_EQ(flock(fd, LOCK_EX | LOCK_NB), 0);
  close(fd);
}

TEST_F(StandInTest, ASecondStandInOnTheSameFolderFails) {
  pid_t first = Start();
  pid_t second = Spawn(QZ_STANDIN_PATH, {"--folder", temp_.Path()});
  EXPECT_EQ(ExitStatus(second), 1);
  kill(first, SIGINT);
  EXPECT_EQ(ExitStatus(first), 0);
}

TEST_F(StandInTest, EndsWhenItsInputClosesIfAskedTo) {
  int pipeFds[2];
  ASSERT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
  pid_t pid = Start({"--until-stdin-closes"}, pipeFds[0]);
  close(pipeFds[0]);
  ASSERT_EQ(write(pipeFds[1], "ignored\n", 8), 8);
  std::this_thread::sleep_for(100ms);
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), 0) << "input that goes on must not end it";
  close(pipeFds[1]);
  EXPECT_EQ(ExitStatus(pid), 0);
}

TEST_F(StandInTest, ACopyLocksInItsOwnFolderAndTellsItsStampedVersion) {
  fs::copy_file(QZ_STANDIN_PATH, temp_ / "Vq.exe");
  auto version = [this] {
    int pipeFds[2];
    EXPECT_EQ(pipe2(pipeFds, O_CLOEXEC), 0);
    pid_t pid = Spawn(temp_ / "Vq.exe", {"--version"}, -1, pipeFds[1]);
    close(pipeFds[1]);
    std::string text;
    char buffer[256];
    for (ssize_t got; (got = read(pipeFds[0], buffer, sizeof buffer)) > 0;)
      text.append(buffer, got);
    close(pipeFds[0]);
    EXPECT_EQ(ExitStatus(pid), 0);
    return text;
  };
  EXPECT_EQ(version(), "Vq stand-in unstamped\n");
  temp_.Write("stamp", "\nVQ-VERSION=1.3.0\n");
  {
    std::ofstream exe(temp_ / "Vq.exe", std::ios::binary | std::ios::app);
    exe << temp_.Read("stamp");
  }
  fs::permissions(temp_ / "Vq.exe", fs::perms::owner_all);
  EXPECT_EQ(version(), "Vq stand-in 1.3.0\n");

  pid_t pid = Spawn(temp_ / "Vq.exe", {"--ready-file", temp_ / "ready"});
  ASSERT_TRUE(AppearsWithin10Seconds(temp_ / "ready"));
  EXPECT_TRUE(temp_.Exists("Config.ldb"));
  kill(pid, SIGTERM);
  EXPECT_EQ(ExitStatus(pid), 0);
}

}  // namespace
}  // namespace qz::demo

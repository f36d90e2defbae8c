// Programs started as verify starts the display server and Wine's tools.
#include "Subprocess.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <string>

#include "PackageTestSupport.h"

namespace {

std::string Read(const std::string& path) {
  Bytes bytes = ScratchFolder::Read(path);
  return std::string(bytes.begin(), bytes.end());
}

TEST(Subprocess, StopAsksFirstAndEndsWhatDoesNotListen) {
  ScratchFolder folder;
  Subprocess::Options options;
  options.environment = EnvironmentWithout({});
  options.output = folder.File("out");
  std::string error;
  Subprocess polite;
  ASSERT_TRUE(polite.Start({"sh", "-c", "trap 'echo asked; exit 7' TERM; echo ready; while :; do sleep 0.05; done"},
                           options, &error))
      << error;
  while (Read(folder.File("out")).find("ready") == std::string::npos) ASSERT_FALSE(polite.Wait(0.05));
  polite.Stop(5);
  EXPECT_EQ(polite.ExitCode(), 7);
  EXPECT_NE(Read(folder.File("out")).find("asked"), std::string::npos);

  Subprocess deaf;
  options.output = folder.File("deaf");
  ASSERT_TRUE(deaf.Start({"sh", "-c", "trap '' TERM; echo ready; while :; do sleep 0.05; done"}, options, &error))
      << error;
  while (Read(folder.File("deaf")).find("ready") == std::string::npos) ASSERT_FALSE(deaf.Wait(0.05));
  deaf.Stop(0.5);
  EXPECT_EQ(deaf.ExitCode(), 128 + SIGKILL);
}

// verify ignores SIGPIPE for itself; the programs it starts must not inherit that.
TEST(Subprocess, ProgramsGetTheBrokenPipeSignalVerifyIgnores) {
  ScratchFolder folder;
  Subprocess::Options options;
  options.environment = EnvironmentWithout({});
  options.output = folder.File("status");
  std::string error;
  struct sigaction saved;
  struct sigaction ignore = {};
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &saved);
  Subprocess shell;
  bool started = shell.Start({"grep", "SigIgn", "/proc/self/status"}, options, &error);
  sigaction(SIGPIPE, &saved, nullptr);
  ASSERT_TRUE(started) << error;
  ASSERT_TRUE(shell.Wait(30));
  std::string status = Read(folder.File("status"));
  ASSERT_EQ(status.compare(0, 7, "SigIgn:"), 0) << status;
  unsigned long long ignored = std::strtoull(status.c_str() + 7, nullptr, 16);
  EXPECT_EQ(ignored & (1ull << (SIGPIPE - 1)), 0u) << status;
}

}  // namespace

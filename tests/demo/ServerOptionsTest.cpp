#include "ServerOptions.h"

#include <gtest/gtest.h>

#include "StandInOptions.h"

namespace qz::demo {
namespace {

TEST(ServerOptionsTest, TakesEveryOptionAndKeepsDefaultsForTheRest) {
  std::string problem;
  bool help = true;
  auto defaults = ServerOptions::Parse({}, problem, help);
  ASSERT_TRUE(defaults);
  EXPECT_FALSE(help);
  EXPECT_EQ(defaults->port, 8642);
  EXPECT_EQ(defaults->bind, "127.0.0.1");
  EXPECT_EQ(defaults->root, ".");
  EXPECT_EQ(defaults->delayMs, 0);

  auto given = ServerOptions::Parse(
      {"--root", "srv", "--port", "0", "--bind", "0.0.0.0", "--delay", "250", "--rate", "2000000"},
      problem, help);
  ASSERT_TRUE(given);
  EXPECT_EQ(given->root, "srv");
  EXPECT_EQ(given->port, 0);
  EXPECT_EQ(given->bind, "0.0.0.0");
  EXPECT_EQ(given->delayMs, 250);
  EXPECT_EQ(given->bytesPerSecond, 2'000'000);
}

TEST(ServerOptionsTest, RejectsBadArgumentsWithAReason) {
  for (std::vector<std::string> bad : std::vector<std::vector<std::string>>{{"--port", "65536"},
                                                                            {"--port", "80x"},
                                                                            {"--port", "-1"},
                                                                            {"--port"},
                                                                            {"--delay", "soon"},
                                                                            {"--rate", "-5"},
                                                                            {"--verbose"}}) {
    std::string problem;
    bool help = false;
    EXPECT_FALSE(ServerOptions::Parse(bad, problem, help)) << bad.front();
    EXPECT_FALSE(problem.empty()) << bad.front();
    EXPECT_FALSE(help);
  }
  std::string problem;
  bool help = false;
  EXPECT_FALSE(ServerOptions::Parse({"--port", "1", "-h"}, problem, help));
  EXPECT_TRUE(help);
}

TEST(StandInOptionsTest, ReadsFolderReadyFileAndSwitches) {
  std::string problem;
  bool help = false;
  auto options = StandInOptions::Parse(
      {"--folder", "/srv/Vq", "--ready-file", "/tmp/ready", "--until-stdin-closes"}, problem, help);
  ASSERT_TRUE(options);
  EXPECT_EQ(options->folder, "/srv/Vq");
  EXPECT_EQ(options->readyFile, "/tmp/ready");
  EXPECT_TRUE(options->untilStdinCloses);
  EXPECT_FALSE(options->version);

  EXPECT_FALSE(StandInOptions::Parse({"--folder"}, problem, help));
  EXPECT_FALSE(StandInOptions::Parse({"/Verbose"}, problem, help));
  EXPECT_EQ(problem, "unknown argument: /Verbose");
}

}  // namespace
}  // namespace qz::demo

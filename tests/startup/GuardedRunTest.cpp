#include "startup/GuardedRun.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <new>
#include <stdexcept>
#include <vector>

#include "platform/Prompts.h"
#include "support/ProgramEnded.h"
#include "support/ScriptedPrompts.h"

namespace qz::test {
namespace {

class ExitingTerminator : public Terminator {
 public:
  [[noreturn]] void EndProgram() override { std::_Exit(3); }
};

void ThrowsThroughNoexcept() noexcept {
  std::vector<int>().at(1);
}

TEST(GuardedRunTest, EveryEscapedExceptionEndsTheRunWithAMessageOnlyInVerboseMode) {
  struct Case {
    std::function<void()> body;
    std::string shown;
  };
  const Case cases[] = {
      {[] { throw std::bad_alloc(); }, "7\r\nOut of memory"},
      {[] { throw Error(61, "Disk full"); }, "61\r\nDisk full"},
      {[] { throw std::length_error("basic_string"); }, "51\r\nInternal error: basic_string"},
      {[] { throw 42; }, "51\r\nInternal error"},
  };
  for (const Case& c : cases) {
    for (bool verbose : {true, false}) {
      SCOPED_TRACE(c.shown + (verbose ? " verbose" : " quiet"));
      ScriptedPrompts prompts;
      ThrowingTerminator terminator;
      GuardedRun guarded(prompts, terminator, verbose);
      EXPECT_THROW(guarded.Run(c.body), ProgramEnded);
      ASSERT_EQ(prompts.boxes.size(), verbose ? 1u : 0u);
      if (!verbose) continue;
      EXPECT_EQ(prompts.boxes[0].title, "Oops ...");
      EXPECT_EQ(prompts.boxes[0].style, kOkOnly | kCritical);
      EXPECT_EQ(prompts.boxes[0].body,
                "The online updater has stopped because of an unexpected error.\r\n" + c.shown);
    }
  }
}

TEST(GuardedRunTest, AnExceptionThatReachesTerminateEndsTheProgramInsteadOfAborting) {
  EXPECT_EXIT(
      {
        ScriptedPrompts prompts;
        ExitingTerminator terminator;
        GuardedRun guarded(prompts, terminator, false);
        guarded.Run([] { ThrowsThroughNoexcept(); });
      },
      ::testing::ExitedWithCode(3), "");
}

}  // namespace
}  // namespace qz::test

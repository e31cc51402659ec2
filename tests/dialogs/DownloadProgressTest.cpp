#include "dialogs/DownloadProgress.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "dialogs/SystemEventPacer.h"
#include "support/FakeFormHost.h"

namespace qz::test {
namespace {

// WinHTTP hands over 64 KiB at a time, each right after a tick has handled the events: the
// bar must still move, at the next tick that is due.
TEST(DownloadProgressTest, BytesThatCameBetweenPassesOfEventsAreShownAtTheNextPass) {
  FakeFormHost host;
  SystemEventPacer pacer(host);
  std::vector<int32_t> shown;
  DownloadProgress progress(
      pacer, [&](int32_t value) { shown.push_back(value); }, 60, 80);
  EXPECT_TRUE(progress.OnTick());
  EXPECT_TRUE(progress.OnData(nullptr, 0, 500, 1000));
  EXPECT_TRUE(shown.empty());
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_TRUE(progress.OnTick());
  EXPECT_EQ(shown, std::vector<int32_t>{70});
}

}  // namespace
}  // namespace qz::test

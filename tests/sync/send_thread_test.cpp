// The sender thread: jobs in order, a flush that waits for them, a bounded
// queue that drops and counts past its limit, and what is queued sent
// before it ends.
#include <gtest/gtest.h>

#include <future>

#include "sync/send_thread.h"

namespace lumora::sync {
namespace {

TEST(SendThread, RunsInOrderAndBounded) {
  std::vector<int> ran;
  std::promise<void> open;
  std::shared_future<void> gate = open.get_future().share();
  {
    TSendThread sender(3);
    ASSERT_TRUE(sender.Post([gate] { gate.wait(); }));
    // The first job may still be queued or already running.
    int posted = 0;
    for (int i = 0; i < 5; ++i) posted += sender.Post([&ran, i] { ran.push_back(i); });
    EXPECT_GE(posted, 2);
    EXPECT_LE(posted, 3);
    EXPECT_EQ(sender.Dropped(), static_cast<std::uint64_t>(5 - posted));
    open.set_value();
    sender.Flush();
    EXPECT_EQ(ran.size(), static_cast<std::size_t>(posted));
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(sender.Post([&ran, i] { ran.push_back(10 + i); }));
  }
  ASSERT_GE(ran.size(), 5u);
  for (std::size_t i = 1; i < ran.size(); ++i) EXPECT_LT(ran[i - 1], ran[i]);
  EXPECT_EQ(ran.back(), 12) << "what was queued is run before the thread ends";
}

}  // namespace
}  // namespace lumora::sync

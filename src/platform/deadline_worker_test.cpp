#include "platform/deadline_worker.h"

#include <future>
#include <vector>

#include <gtest/gtest.h>

namespace Kyrowan::Windows {
namespace {

using Clock = DeadlineWorker::Clock;

TEST(DeadlineWorker, CallsRunInTurnOnOneThreadOfItsOwn) {
  DeadlineWorker worker;
  std::vector<std::thread::id> threads;
  const auto noteThread = [&] { threads.push_back(std::this_thread::get_id()); };
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(worker.Run(noteThread, Clock::now() + std::chrono::seconds(10)));
  ASSERT_EQ(threads.size(), 3u);
  EXPECT_NE(threads[0], std::this_thread::get_id());
  EXPECT_EQ(threads[1], threads[0]);
  EXPECT_EQ(threads[2], threads[0]);
  EXPECT_TRUE(worker.Run([&] { threads.clear(); }, Clock::time_point::max()));
  EXPECT_TRUE(threads.empty());
}

TEST(DeadlineWorker, ACallBlockedPastItsDeadlineIsLeftToFinishAlone) {
  struct Blocked {
    std::promise<void> release;
    std::promise<void> finished;
  };
  auto blocked = std::make_shared<Blocked>();
  std::future<void> finished = blocked->finished.get_future();
  bool laterCallRan = false;
  {
    DeadlineWorker worker;
    const auto started = Clock::now();
    EXPECT_FALSE(worker.Run(
        [blocked, release = blocked->release.get_future().share()] {
          release.wait();
          blocked->finished.set_value();
        },
        started + std::chrono::milliseconds(100)));
    EXPECT_LT(Clock::now() - started, std::chrono::seconds(5));
    EXPECT_FALSE(worker.Run([&] { laterCallRan = true; }, Clock::time_point::max()));
  }  // leaving the worker does not wait for its call
  EXPECT_FALSE(laterCallRan);
  blocked->release.set_value();
  blocked.reset();  // the call holds what it touches
  EXPECT_EQ(finished.wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
}  // namespace Kyrowan::Windows

#include "request_deadlines.h"

#include <gtest/gtest.h>

namespace KyrServer {
namespace {

// The cuts of one connection, as its cutter saw them.
struct Cuts {
  std::mutex mutex;
  std::condition_variable changed;
  int count = 0;

  bool Within(std::chrono::milliseconds wait) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, wait, [this] { return count > 0; });
  }
};

class CountingCutter final : public RequestDeadlines::Cutter {
 public:
  explicit CountingCutter(Cuts& cuts) : cuts_(cuts) {}
  void Cut() override {
    std::lock_guard guard(cuts_.mutex);
    ++cuts_.count;
    cuts_.changed.notify_all();
  }

 private:
  Cuts& cuts_;
};

// Only a connection whose request is still arriving is cut; an answered one is left alone
// until its next request begins, which then has a deadline of its own.
TEST(RequestDeadlines, CutsOnlyRequestsThatAreStillArrivingAfterTheDeadline) {
  Cuts arriving, answered;
  RequestDeadlines deadlines(std::chrono::milliseconds(100));
  deadlines.Opened(&arriving, std::make_unique<CountingCutter>(arriving));
  deadlines.Opened(&answered, std::make_unique<CountingCutter>(answered));
  deadlines.Answered(&answered);
  EXPECT_TRUE(arriving.Within(std::chrono::seconds(5)));
  EXPECT_FALSE(answered.Within(std::chrono::milliseconds(0)));
  deadlines.Waiting(&answered);
  EXPECT_TRUE(answered.Within(std::chrono::seconds(5)));
  deadlines.Closed(&arriving);
  deadlines.Closed(&answered);
}

}  // namespace
}  // namespace KyrServer

#include "platform/scoped_handle.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <vector>

#include "platform/handles_posix.h"

namespace Kyrowan::Windows {
namespace {

TEST(ScopedHandleTest, ClosesALiveDescriptorOnce) {
  const int fd = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(fd, 0);
  {
    ScopedHandle<int> handle(fd, FdValidator(), FdCloser());
    EXPECT_TRUE(handle.IsValid());
    EXPECT_EQ(handle.Get(), fd);
  }
  EXPECT_EQ(::fcntl(fd, F_GETFD), -1);
}

TEST(ScopedHandleTest, NeverRunsTheCloserOnAValueItsValidatorRejects) {
  std::vector<int> closed;
  const auto record = [&closed](int fd) { closed.push_back(fd); };
  { ScopedHandle<int> invalid(-1, FdValidator(), record); }
  { ScopedHandle<int> valid(5, FdValidator(), record); }
  EXPECT_EQ(closed, std::vector<int>{5});
}

TEST(ScopedHandleTest, ValidatorsRejectTheFailureValues) {
  EXPECT_FALSE(HandleValidator()(nullptr));
  EXPECT_FALSE(HandleValidator()(reinterpret_cast<void*>(-1)));
  EXPECT_FALSE(ViewValidator()(MappedView{nullptr, 4096}));
  EXPECT_FALSE(FdValidator()(-1));
  EXPECT_TRUE(FdValidator()(0));
  // Closing the failure values must be harmless.
  { ScopedHandle<void*> library(reinterpret_cast<void*>(-1), HandleValidator(), LibraryCloser()); }
  { ScopedHandle<MappedView> view(MappedView{}, ViewValidator(), ViewCloser()); }
  LibraryCloser()(nullptr);
  ViewCloser()(MappedView{});
}

}  // namespace
}  // namespace Kyrowan::Windows

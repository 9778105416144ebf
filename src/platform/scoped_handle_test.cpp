#include "platform/scoped_handle.h"

#include <gtest/gtest.h>

#include <vector>

#ifdef _WIN32
#include "platform/handles_win32.h"
#else
#include <fcntl.h>
#include <unistd.h>

#include "platform/handles_posix.h"
#endif

namespace Kyrowan::Windows {
namespace {

TEST(ScopedHandleTest, NeverRunsTheCloserOnAValueItsValidatorRejects) {
  std::vector<int> closed;
  const auto record = [&closed](int value) { closed.push_back(value); };
  const auto notNegative = [](int value) { return value >= 0; };
  { ScopedHandle<int> invalid(-1, notNegative, record); }
  { ScopedHandle<int> valid(5, notNegative, record); }
  EXPECT_EQ(closed, std::vector<int>{5});
}

#ifdef _WIN32

TEST(ScopedHandleTest, ClosesALiveHandleOnce) {
  HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  {
    ScopedHandle<HANDLE> handle(event, HandleValidator(), HandleCloser());
    EXPECT_TRUE(handle.IsValid());
  }
  DWORD flags = 0;
  EXPECT_FALSE(::GetHandleInformation(event, &flags));
}

TEST(ScopedHandleTest, ValidatorsRejectTheFailureValues) {
  EXPECT_FALSE(HandleValidator()(static_cast<HANDLE>(nullptr)));
  EXPECT_FALSE(HandleValidator()(INVALID_HANDLE_VALUE));
  EXPECT_FALSE(HandleValidator()(static_cast<HMODULE>(nullptr)));
  EXPECT_FALSE(ViewValidator()(nullptr));
  EXPECT_FALSE(CryptHandleValidator()(0));
  // Closing the failure values must be harmless.
  { ScopedHandle<HANDLE> file(INVALID_HANDLE_VALUE, HandleValidator(), HandleCloser()); }
  { ScopedHandle<HMODULE> library(nullptr, HandleValidator(), LibraryCloser()); }
  { ScopedHandle<void*> internet(nullptr, HandleValidator(), InetHandleCloser()); }
  { ScopedHandle<const void*> view(nullptr, ViewValidator(), ViewCloser()); }
  { ScopedHandle<HCRYPTPROV> provider(0, CryptHandleValidator(), CryptProvContextCloser()); }
  HandleCloser()(INVALID_HANDLE_VALUE);
  CryptKeyCloser()(0);
  CryptHashCloser()(0);
}

#else

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

#endif

}  // namespace
}  // namespace Kyrowan::Windows

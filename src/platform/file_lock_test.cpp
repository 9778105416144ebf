#include "platform/file_lock.h"

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include <gtest/gtest.h>

#include "platform/text.h"
#include "tests/scoped_temp.h"

namespace Kyrowan::Windows {
namespace {

TEST(FileLock, SecondHolderWaitsForTheFirst) {
  Testing::TempFolder folder;
  const std::wstring lockPath = (folder.Path() / "kyr.lock").wstring();
  std::mutex mutex;
  std::condition_variable changed;
  bool secondLocked = false;
  bool firstReleased = false;
  bool releasedBeforeSecond = false;

  std::optional<FileLock> first(std::in_place, lockPath);
  ASSERT_TRUE(first->IsLocked());
  std::thread second([&] {
    FileLock lock(lockPath);
    std::lock_guard guard(mutex);
    secondLocked = lock.IsLocked();
    releasedBeforeSecond = firstReleased;
    changed.notify_all();
  });
  {
    std::unique_lock guard(mutex);
    // Bounded: the second holder must still be waiting after a generous pause.
    EXPECT_FALSE(changed.wait_for(guard, std::chrono::milliseconds(300), [&] { return secondLocked; }));
    firstReleased = true;
  }
  first.reset();
  second.join();
  EXPECT_TRUE(secondLocked);
  EXPECT_TRUE(releasedBeforeSecond);
}

TEST(FileLock, UnusablePathIsNotLocked) {
  EXPECT_FALSE(FileLock(L"").IsLocked());
  EXPECT_FALSE(FileLock(L"/nonexistent-folder-kyr/x.lock").IsLocked());
}

#ifndef _WIN32
// Creating a symbolic link takes a privilege on Windows; the test runs where anyone can.
TEST(FileLock, APlantedLinkIsNeitherFollowedNorLocked) {
  const auto folder = std::filesystem::temp_directory_path() / ("kyr-lock-link-" + std::to_string(::getpid()));
  std::filesystem::create_directories(folder);
  std::filesystem::create_symlink(folder / "victim", folder / "x.lock");
  EXPECT_FALSE(FileLock(FromUtf8((folder / "x.lock").string())).IsLocked());
  EXPECT_FALSE(std::filesystem::exists(folder / "victim"));
  std::filesystem::remove_all(folder);
}
#endif

}  // namespace
}  // namespace Kyrowan::Windows

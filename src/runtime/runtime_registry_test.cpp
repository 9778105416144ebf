#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "runtime/native_runtime.h"
#include "runtime/runtime.h"
#include "runtime/runtime_factory.h"

namespace Kyrowan {
namespace {

/// Counts how often the registry hands its folders back.
class CountingRuntime : public IKyrDecryptRuntime {
 public:
  CountingRuntime(std::uint32_t type, const std::wstring& version)
      : IKyrDecryptRuntime(static_cast<std::int32_t>(type), RuntimeTypeName(type), version) {}
  std::int32_t Execute(const std::wstring&, const std::wstring&, std::uint32_t, std::int64_t& exitCode,
                       const nlohmann::json&) override {
    exitCode = 0;
    return PkgRunFailed;
  }
  bool AddLibraryPath(const std::wstring&) override { return false; }
  bool RemoveLibraryPath(const std::wstring&) override { return false; }
  bool RemoveAllLibraryPaths() override {
    ++removeAllCalls;
    return true;
  }
  int removeAllCalls = 0;
};

class RuntimeRegistryTest : public ::testing::Test {
 protected:
  void SetUp() override { ReleaseAllRuntimes(); }
  void TearDown() override {
    ReleaseAllRuntimes();
    SetRuntimeMakerForTesting(nullptr);
  }

  static std::shared_ptr<IKyrDecryptRuntime> Get(std::uint32_t type, const std::wstring& name,
                                                 const std::wstring& version) {
    std::shared_ptr<IKyrDecryptRuntime> out;
    const int result = GetRuntime(type, name, version, out);
    EXPECT_EQ(result, out ? 1 : 0);
    return out;
  }
};

TEST_F(RuntimeRegistryTest, RefusesTypeNoneAndEmptyTextsWithAnEmptyResult) {
  auto held = Get(2, L"native", L"1.0");
  std::shared_ptr<IKyrDecryptRuntime> out = held;
  EXPECT_EQ(GetRuntime(0, L"none", L"1.0", out), 0);
  EXPECT_FALSE(out);
  out = held;
  EXPECT_EQ(GetRuntime(1, L"", L"1.0", out), 0);
  EXPECT_FALSE(out);
  EXPECT_EQ(GetRuntime(2, L"native", L"", out), 0);
  EXPECT_EQ(GetRuntime(3, L"other", L"1.0", out), 0);
  // Nothing was filed by the refused requests: the default key still gives the first runtime.
  EXPECT_EQ(Get(2, L"native", L"0.0.0"), held);
}

TEST_F(RuntimeRegistryTest, SameKeySharesOneObjectAlsoUnderTheDefaultVersion) {
  auto first = Get(2, L"native", L"1.0");
  ASSERT_TRUE(first);
  EXPECT_EQ(Get(2, L"native", L"1.0"), first);
  EXPECT_EQ(Get(2, L"native", L"0.0.0"), first);
  std::wstring text;
  EXPECT_TRUE(first->GetName(text));
  EXPECT_EQ(text, L"native");
  EXPECT_TRUE(first->GetVersion(text));
  EXPECT_EQ(text, L"1.0");
  EXPECT_NE(dynamic_cast<NativeRuntime*>(first.get()), nullptr);
}

TEST_F(RuntimeRegistryTest, DefaultVersionYieldsTheRuntimeMadeLast) {
  auto old = Get(1, L"python", L"2.7");
  auto recent = Get(1, L"python", L"3.6");
  ASSERT_TRUE(old && recent);
  EXPECT_NE(old, recent);
  EXPECT_EQ(Get(1, L"python", L"0.0.0"), recent);
  EXPECT_EQ(Get(1, L"python", L"2.7"), old);
}

TEST_F(RuntimeRegistryTest, NameEntersTheKeyAsGivenAndVersionIsLoweredInTheRuntime) {
  auto upper = Get(1, L"Python", L"2.7RC");
  auto lower = Get(1, L"python", L"2.7RC");
  ASSERT_TRUE(upper && lower);
  EXPECT_NE(upper, lower);
  std::wstring text;
  upper->GetName(text);
  EXPECT_EQ(text, L"python");
  upper->GetVersion(text);
  EXPECT_EQ(text, L"2.7rc");
}

TEST_F(RuntimeRegistryTest, PythonRuntimeForTheDefaultVersionIsNotReady) {
  auto python = Get(1, L"python", L"0.0.0");
  ASSERT_TRUE(python);
  std::int64_t exitCode = 7;
  EXPECT_EQ(python->Execute(L"m", L"run", 1, exitCode, nlohmann::json()), PkgRunFailed);
  EXPECT_EQ(exitCode, 0);
  EXPECT_FALSE(python->AddLibraryPath(L"/x"));
}

TEST_F(RuntimeRegistryTest, ReleaseHandsBackEveryRuntimesFoldersOncePerKeyAndEmptiesTheRegistry) {
  std::vector<std::shared_ptr<CountingRuntime>> made;
  SetRuntimeMakerForTesting([&made](std::uint32_t type, const std::wstring& version) {
    made.push_back(std::make_shared<CountingRuntime>(type, version));
    return made.back();
  });
  auto twoKeys = Get(2, L"native", L"1.0");      // filed under 1.0 and 0.0.0
  auto oneKey = Get(1, L"python", L"0.0.0");     // both keys are the same entry
  ASSERT_EQ(made.size(), 2u);
  EXPECT_EQ(ReleaseAllRuntimes(), 1);
  EXPECT_EQ(made[0]->removeAllCalls, 2);
  EXPECT_EQ(made[1]->removeAllCalls, 1);
  auto fresh = Get(2, L"native", L"1.0");
  EXPECT_NE(fresh, twoKeys);
  EXPECT_EQ(made.size(), 3u);
}

TEST_F(RuntimeRegistryTest, FailedConstructionFilesNothing) {
  SetRuntimeMakerForTesting([](std::uint32_t, const std::wstring&) { return nullptr; });
  std::shared_ptr<IKyrDecryptRuntime> out;
  EXPECT_EQ(GetRuntime(2, L"native", L"1.0", out), 0);
  EXPECT_FALSE(out);
  SetRuntimeMakerForTesting(nullptr);
  EXPECT_TRUE(Get(2, L"native", L"1.0"));
}

}  // namespace
}  // namespace Kyrowan

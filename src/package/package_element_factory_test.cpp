#include "package/package_element_factory.h"

#include <gtest/gtest.h>

#include "package/decryptor_package.h"
#include "package/native_lib_package.h"
#include "package/python_lib_package.h"
#include "package/python_run_lib_package.h"
#include "package/python_runtime_package.h"
#include "tests/package_test_support.h"

namespace Kyrowan {
namespace {

using ElementPtr = std::shared_ptr<IKyrDecryptPackageElement>;

class FactoryTest : public ::testing::Test {
 protected:
  Testing::TempDataRoot root;
  ElementPtr element = std::make_shared<NativeKyrLibPackage>(L"held", L"1.0.0");
};

TEST_F(FactoryTest, MakesTheClassOfEachKind) {
  ASSERT_TRUE(CreatePackageElement(PkgKindDecryptor, L"stampado", L"1.0.0", element));
  EXPECT_NE(dynamic_cast<DecryptorPackage*>(element.get()), nullptr);
  ASSERT_TRUE(CreatePackageElement(PkgKindPythonLibrary, L"lib", L"1.0.0", element));
  EXPECT_NE(dynamic_cast<PythonKyrLibPackage*>(element.get()), nullptr);
  ASSERT_TRUE(CreatePackageElement(PkgKindNativeLibrary, L"lib", L"1.0.0", element));
  EXPECT_NE(dynamic_cast<NativeKyrLibPackage*>(element.get()), nullptr);
  ASSERT_TRUE(CreatePackageElement(PkgKindPythonRuntime, L"python", L"3.6.2", element));
  EXPECT_NE(dynamic_cast<PythonRuntimePackage*>(element.get()), nullptr);
  EXPECT_EQ(element->GetKind(), PkgKindPythonRuntime);
}

TEST_F(FactoryTest, RefusesBadRequestsAndLeavesNothing) {
  EXPECT_FALSE(CreatePackageElement(PkgKindPythonRuntime, L"python", L"0.0.0", element));
  EXPECT_EQ(element, nullptr);
  element = std::make_shared<NativeKyrLibPackage>(L"held", L"1.0.0");
  EXPECT_FALSE(CreatePackageElement(6, L"stampado", L"1.0.0", element));
  EXPECT_EQ(element, nullptr);
  EXPECT_FALSE(CreatePackageElement(0, L"stampado", L"1.0.0", element));
  EXPECT_FALSE(CreatePackageElement(PkgKindNativeLibrary, L"", L"1.0.0", element));
  EXPECT_FALSE(CreatePackageElement(PkgKindNativeLibrary, L"lib", L"", element));
  EXPECT_EQ(element, nullptr);
}

TEST_F(FactoryTest, RefusesNamesAndVersionsThatLeaveTheDataRoot) {
  const std::wstring unsafe[] = {L"../evil", L"a/b", L"a\\b", L"..", L".", std::wstring(L"a\0b", 3), L"/abs"};
  for (const std::wstring& text : unsafe) {
    for (int kind : {1, 3, 4, 5}) {
      EXPECT_FALSE(CreatePackageElement(kind, text, L"1.0.0", element)) << kind;
      EXPECT_FALSE(CreatePackageElement(kind, L"name", text, element)) << kind;
      EXPECT_EQ(element, nullptr);
    }
  }
  EXPECT_TRUE(CreatePackageElement(PkgKindNativeLibrary, L"a..b", L"1.0..0", element));
}

TEST_F(FactoryTest, PipLibrariesAreTheirOwnElements) {
  ASSERT_TRUE(CreatePackageElement(PkgKindPipLibrary, L"requests", L"2.0.0", element));
  EXPECT_NE(dynamic_cast<PythonRunLibPackage*>(element.get()), nullptr);
}

TEST_F(FactoryTest, LowersNameAndVersion) {
  ASSERT_TRUE(CreatePackageElement(PkgKindNativeLibrary, L"MixedCase", L"1.0.0-RC", element));
  std::wstring text;
  EXPECT_TRUE(element->GetName(text));
  EXPECT_EQ(text, L"mixedcase");
  EXPECT_TRUE(element->GetVersion(text));
  EXPECT_EQ(text, L"1.0.0-rc");
}

TEST(DependencyKindTest, FollowsDependencyAndRuntimeType) {
  EXPECT_EQ(DependencyElementKind(1, 1), PkgKindPipLibrary);
  EXPECT_EQ(DependencyElementKind(2, 1), PkgKindPythonLibrary);
  EXPECT_EQ(DependencyElementKind(2, 2), PkgKindNativeLibrary);
  EXPECT_EQ(DependencyElementKind(1, 2), 0);
  EXPECT_EQ(DependencyElementKind(3, 2), 0);
  EXPECT_EQ(DependencyElementKind(2, 0), 0);
}

TEST(StateCacheKeyTest, IsKindNameVersionLowered) {
  EXPECT_EQ(MakeStateCacheKey(1, L"Stampado", L"1.0.0-RC"), L"1|stampado|1.0.0-rc");
  EXPECT_EQ(MakeStateCacheKey(0, L"a", L"1"), L"");
  EXPECT_EQ(MakeStateCacheKey(6, L"a", L"1"), L"");
  EXPECT_EQ(MakeStateCacheKey(1, L"", L"1"), L"");
  EXPECT_EQ(MakeStateCacheKey(1, L"a", L""), L"");
}

TEST_F(FactoryTest, CachedStateOfAVersionIsAlsoTheLatestOne) {
  NativeKyrLibPackage specific(L"cachelib", L"2.0.0");
  NativeKyrLibPackage latest(L"CacheLib", L"0.0.0");
  PythonKyrLibPackage otherKind(L"cachelib", L"0.0.0");
  EXPECT_EQ(latest.GetCachedState(), 0);
  EXPECT_TRUE(specific.SetCachedState(1));
  EXPECT_EQ(specific.GetCachedState(), 1);
  EXPECT_EQ(latest.GetCachedState(), 1);
  EXPECT_EQ(otherKind.GetCachedState(), 0);
  // Storing under "0.0.0" itself touches no specific version.
  EXPECT_TRUE(latest.SetCachedState(0));
  EXPECT_EQ(specific.GetCachedState(), 1);
}

}  // namespace
}  // namespace Kyrowan

#include "catalogue/pkg_result.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/capture_stdout.h"

namespace Kyrowan {
namespace {

TEST(PkgResultTest, PrintsOneLinePerKnownValueAndNothingOutside) {
  EXPECT_EQ(Testing::CaptureStdout([] { PrintPkgResult(PkgOperationSucceeded); }),
            "Selected operation completed successfully\n");
  EXPECT_EQ(Testing::CaptureStdout([] { PrintPkgResult(2); }), "\n");
  EXPECT_EQ(Testing::CaptureStdout([] { PrintPkgResult(29); }), "");
  EXPECT_EQ(Testing::CaptureStdout([] { PrintPkgResult(-1); }), "");
}

TEST(PkgResultTest, UnnamedValuesHaveEmptyMessages) {
  for (int value : {2, 3, 6, 7, 8, 10, 11, 12}) EXPECT_STREQ(PkgResultMessages[value], L"") << value;
  EXPECT_STREQ(PkgResultMessages[PkgOperationFailed], L"An error occured in selected operation");
}

}  // namespace
}  // namespace Kyrowan

// A decryptor library that needs the kyrtest_dep library: its run entry returns that library's value.
#include <cstdint>

#include "test_export.h"

extern "C" int kyrtest_dep_value();

KYR_EXPORT std::int64_t run(std::int32_t, const char16_t* const*) { return kyrtest_dep_value(); }

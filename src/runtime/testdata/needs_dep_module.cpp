// A decryptor library that needs libkyrtest_dep.so: its run entry returns that library's value.
#include <cstdint>

#define KYR_EXPORT extern "C" __attribute__((visibility("default")))

extern "C" int kyrtest_dep_value();

KYR_EXPORT std::int64_t run(std::int32_t, const char16_t* const*) { return kyrtest_dep_value(); }

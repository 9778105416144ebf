// A library that another test library needs: found only in a registered folder.
#define KYR_EXPORT extern "C" __attribute__((visibility("default")))

KYR_EXPORT int kyrtest_dep_value() { return 42; }

// Also named like an entry, to show that entries are looked up in the module only.
KYR_EXPORT void dep_only_help() {}

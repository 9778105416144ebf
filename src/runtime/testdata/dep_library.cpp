// A library that another test library needs: found only in a registered folder.
#include "test_export.h"

KYR_EXPORT int kyrtest_dep_value() { return 42; }

// Also named like an entry, to show that entries are looked up in the module only.
KYR_EXPORT void dep_only_help() {}

#pragma once

// The helpers the tests of the publisher tools share: the test key's signer, signed data
// and zip archives.

#include "tests/test_signer.h"
#include "tests/zip_test_support.h"

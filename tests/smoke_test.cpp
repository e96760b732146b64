#include <gtest/gtest.h>

#include "reload/signature_scan.h"

TEST(Smoke, SignatureParses) { EXPECT_EQ(parsePattern(reloadSignature).size(), 34u); }

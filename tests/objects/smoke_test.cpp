#include <gtest/gtest.h>
#include "pdf/objects/vxPDFObjects.h"
TEST(Smoke, Builds) { vx::TvxPDFIntegerObject I(5); EXPECT_EQ(I.AsText(), "5"); }

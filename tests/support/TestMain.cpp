#include "support/GuardedMain.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (veltrum::test::RefuseOffLoopback(argc, argv)) {
        return 2;
    }
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

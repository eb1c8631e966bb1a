// Test programs start like the program does: the locale comes from the environment.
#include <gtest/gtest.h>

#include "platform/text.h"

int main(int argc, char** argv) {
    tesvano::InitLocaleFromEnvironment();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

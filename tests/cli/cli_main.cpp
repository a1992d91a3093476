// Serial ports need the process's application object; kwd2ctl's main makes it the same way.
#include <gtest/gtest.h>

#include "platform/console.h"

int main(int argc, char** argv) {
    InitConsoleRuntime(argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

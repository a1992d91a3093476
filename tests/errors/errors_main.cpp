// Popups need the run-time engine; they answer from the test queue and never block.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/userint.h"
#include "platform/userint_testing.h"

namespace {
void FailOnUnanswered(const std::string& title, const std::string& text) {
    ADD_FAILURE() << "unexpected popup: " << title << " / " << text;
}
}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    if (InitRunTimeEngine(nullptr, argv, nullptr) == 0) {
        return 1;
    }
    uitest::EnablePopupTestMode();
    uitest::SetUnansweredPopupHandler(FailOnUnanswered);
    return RUN_ALL_TESTS();
}

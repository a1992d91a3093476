// Test main for GUI tests: one application object, offscreen, popups answered by the tests.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/userint.h"
#include "platform/userint_testing.h"

namespace {

void FailOnUnansweredPopup(const std::string& title, const std::string& text) {
    ADD_FAILURE() << "popup without a queued answer: " << title << ": " << text;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    if (InitRunTimeEngine(nullptr, argv, nullptr) == 0) return 1;
    uitest::EnablePopupTestMode();
    uitest::SetUnansweredPopupHandler(FailOnUnansweredPopup);
    return RUN_ALL_TESTS();
}

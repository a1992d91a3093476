// Where the test seams reach into the platform: each a pointer that is null in production, so a
// call pays one test of it. Set only by kwd2_platform_testing.
#pragma once

#include "platform/safefile.h"

namespace platform {

struct SafeFileHooks {
    // Called before each step a replacement tries; a non-zero result fails it with that errno.
    int (*beforeStep)(SafeFileStep step);
};
extern const SafeFileHooks* gSafeFileHooks;

}  // namespace platform

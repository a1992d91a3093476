// The safe file replacement's test seam: installs its hook with the first fault or clear.
#include "platform/safefile_testing.h"

#include "platform/seams.h"

namespace platform {
namespace {

struct Seam {
    bool armed = false;
    SafeFileStep failing = SafeFileStep::kInspect;
    int error = 0;
    std::vector<SafeFileStep> tried;
};

Seam& TheSeam() {
    static Seam gSeam;
    return gSeam;
}

int BeforeStep(SafeFileStep step) {
    Seam& seam = TheSeam();
    seam.tried.push_back(step);
    return seam.armed && seam.failing == step ? seam.error : 0;
}

constexpr SafeFileHooks kHooks{BeforeStep};

}  // namespace

void SafeFile_InjectFault(SafeFileStep step, int error) {
    Seam& seam = TheSeam();
    seam.armed = true;
    seam.failing = step;
    seam.error = error;
    seam.tried.clear();
    gSafeFileHooks = &kHooks;
}

void SafeFile_ClearFaults() {
    Seam& seam = TheSeam();
    seam.armed = false;
    seam.tried.clear();
    gSafeFileHooks = &kHooks;
}

const std::vector<SafeFileStep>& SafeFile_StepsTried() {
    return TheSeam().tried;
}

}  // namespace platform

// Runs part of a test as an ordinary user, so that file modes apply: root may write any file.
// As root the part runs in a forked child that first hands the given paths to "nobody" and drops
// to that user (as `setpriv --reuid=nobody` would); its failures are printed there and fail the
// test here; a skip there skips the test here. As any other user the part simply runs.
#pragma once

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <functional>
#include <vector>

namespace testutil {

// Failures of the running test so far (a forked child inherits those of its parent).
inline int FailuresSoFar() {
    const ::testing::TestResult* result = ::testing::UnitTest::GetInstance()->current_test_info()->result();
    int failures = 0;
    for (int i = 0; i < result->total_part_count(); ++i) failures += result->GetTestPartResult(i).failed();
    return failures;
}

inline constexpr int kSkippedAsNobody = 77;

inline void RunAsNormalUser(const std::vector<std::filesystem::path>& handedOver,
                            const std::function<void()>& part) {
    if (::geteuid() != 0) {
        part();
        return;
    }
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr) << "no user \"nobody\" to run the unprivileged part as";
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    for (const auto& path : handedOver) ASSERT_EQ(::lchown(path.c_str(), uid, gid), 0) << path;
    std::fflush(nullptr);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
            ::setresuid(uid, uid, uid) != 0) {
            std::fprintf(stderr, "cannot become nobody\n");
            ::_exit(2);
        }
        const int before = FailuresSoFar();
        part();
        std::fflush(nullptr);
        const bool skipped = ::testing::UnitTest::GetInstance()->current_test_info()->result()->Skipped();
        ::_exit(FailuresSoFar() > before ? 1 : skipped ? kSkippedAsNobody : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (WIFEXITED(status) && WEXITSTATUS(status) == kSkippedAsNobody) {
        GTEST_SKIP() << "the part run as nobody was skipped (its reason is above)";
    }
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
        << "the part run as nobody failed (its messages are above), status " << status;
}

}  // namespace testutil

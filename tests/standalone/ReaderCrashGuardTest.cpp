#include "standalone/ReaderCrashGuard.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <csignal>

namespace {
using Handler = void (*)(int);

Handler CurrentHandler(int signal) {
    struct sigaction now {};
    sigaction(signal, nullptr, &now);
    return now.sa_handler;
}

// The death tests fork; their children enable the guards, the test process never does.
class ReaderCrashGuardDeath : public testing::Test {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};
}  // namespace

TEST_F(ReaderCrashGuardDeath, ACrashWhileGuardedEndsWithTheLineAndExitCodeOne) {
    for (int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL}) {
        EXPECT_EXIT(
            {
                EnableReaderCrashGuards();
                const ReaderCrashGuard guard("Murkwell: cannot read x.dae: the reader crashed");
                std::raise(signal);
                std::_Exit(7);  // not reached when the guard answers
            },
            testing::ExitedWithCode(1), "^Murkwell: cannot read x.dae: the reader crashed\n$")
            << "signal " << signal;
    }
}

TEST_F(ReaderCrashGuardDeath, AfterAnInnerGuardGoesTheOuterOnesLineIsWritten) {
    EXPECT_EXIT(
        {
            EnableReaderCrashGuards();
            const ReaderCrashGuard outer("outer");
            { const ReaderCrashGuard inner("inner"); }
            std::raise(SIGSEGV);
        },
        testing::ExitedWithCode(1), "^outer\n$");
}

TEST(ReaderCrashGuard, HandlersAreRestoredAndNothingIsInstalledUnlessEnabled) {
    const Handler before = CurrentHandler(SIGSEGV);
    {
        const ReaderCrashGuard guard("never enabled in this process");
        EXPECT_EQ(CurrentHandler(SIGSEGV), before);
    }
    EXPECT_EXIT(
        {
            EnableReaderCrashGuards();
            const Handler old = CurrentHandler(SIGBUS);
            bool replaced = false;
            {
                const ReaderCrashGuard guard("line");
                replaced = CurrentHandler(SIGBUS) != old;
            }
            std::_Exit(replaced && CurrentHandler(SIGBUS) == old ? 3 : 4);
        },
        testing::ExitedWithCode(3), "");
}

#include "app/CommandLine.h"

#include <gtest/gtest.h>

namespace {

TEST(CommandLine, HelpAndVersionAnswerAndExitZero) {
    const auto version = answerCommandLine({"quorvel", "--version"}, "quorvel", "1.2.3");
    ASSERT_TRUE(version);
    EXPECT_EQ(version->text, "quorvel 1.2.3\n");
    EXPECT_EQ(version->exitStatus, 0);
    for (const char* help : {"--help", "-h"}) {
        const auto answer = answerCommandLine({"quorvel", help}, "quorvel", "1");
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->text.rfind("Usage: quorvel", 0), 0u);
        EXPECT_EQ(answer->exitStatus, 0);
    }
}

TEST(CommandLine, EverythingElseRunsTheProgram) {
    EXPECT_FALSE(answerCommandLine({"quorvel"}, "quorvel", "1"));
    EXPECT_FALSE(answerCommandLine({"quorvel", "-platform", "xcb"}, "quorvel", "1"));
}

} // namespace

#include "common/log.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/log_lines.h"
#include "support/stderr_capture.h"

namespace lumo::typing::text::jieba {
namespace {

using lumo::testing::LogMessages;
using lumo::testing::StderrCapture;

TEST(LogTest, LineHasTimeSourceLevelAndMessage) {
  StderrCapture capture;
  const int line = __LINE__ + 1;
  LUMO_LOG_ERROR << "Decode " << std::string("x") << " failed, code " << 42 << ' ' << -7 << ' ' << std::uint8_t{7};
  const std::string text = capture.Finish();
  const std::size_t header = lumo::testing::LogHeaderLength(text);
  ASSERT_EQ(header, 20 + std::string("tests/cpp/jieba/log_test.cc:").size() + std::to_string(line).size() + 1) << text;
  EXPECT_EQ(text.substr(20), "tests/cpp/jieba/log_test.cc:" + std::to_string(line) + " ERROR Decode x failed, code 42 -7 7\n");
  // One line feed, at the end: the whole entry is one line.
  EXPECT_EQ(text.find('\n'), text.size() - 1);
}

TEST(LogTest, LevelNames) {
  EXPECT_EQ(LogLevelName(LogLevel::kError), "ERROR");
  EXPECT_EQ(LogLevelName(LogLevel::kFatal), "FATAL");
  StderrCapture capture;
  LUMO_LOG(LogLevel::kFatal) << "f";
  EXPECT_EQ(LogMessages(capture.Finish()), std::vector<std::string>{"FATAL f"});
}

int CheckPositive(int value) {
  LUMO_FATAL_CHECK(value > 0, "value > 0", "value ", value, " is not positive");
  return value * 2;
}

TEST(FatalCheckTest, PassingCheckWritesNothing) {
  StderrCapture capture;
  EXPECT_EQ(CheckPositive(3), 6);
  EXPECT_EQ(capture.Finish(), "");
}

TEST(FatalCheckTest, FailingCheckWritesTheLineThenThrowsTheMessage) {
  StderrCapture capture;
  try {
    CheckPositive(-1);
    ADD_FAILURE() << "control went past the failed check";
  } catch (const FatalError& error) {
    EXPECT_STREQ(error.what(), "exp: [value > 0] false. value -1 is not positive");
  }
  EXPECT_EQ(LogMessages(capture.Finish()),
            std::vector<std::string>{"FATAL exp: [value > 0] false. value -1 is not positive"});
}

TEST(FatalCheckTest, IsARuntimeErrorAndWorksWithoutAppendedParts) {
  StderrCapture capture;
  bool ready = false;
  // The message quotes the expression text given, not the condition's code.
  EXPECT_THROW(LUMO_FATAL_CHECK(ready, "the data is ready"), std::runtime_error);
  EXPECT_EQ(LogMessages(capture.Finish()), std::vector<std::string>{"FATAL exp: [the data is ready] false. "});
}

// A part of the message that throws while it is computed: that exception,
// not a FatalError, reaches the caller, and no line is written.
std::string ThrowingPart() { throw std::logic_error("first"); }

TEST(FatalCheckTest, APartThatThrowsStopsTheCheckWithItsOwnException) {
  StderrCapture capture;
  try {
    LUMO_FATAL_CHECK(false, "false", "before ", ThrowingPart());
    ADD_FAILURE() << "control went past the failed check";
  } catch (const std::logic_error& error) {
    EXPECT_STREQ(error.what(), "first");
  }
  EXPECT_EQ(capture.Finish(), "");
}

TEST(LogTest, LinesOfConcurrentThreadsNeverInterleave) {
  StderrCapture capture;
  constexpr int kThreads = 4;
  constexpr int kLines = 300;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([t] {
      const std::string payload(200, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i) LUMO_LOG_ERROR << payload;
    });
  }
  for (std::thread& thread : threads) thread.join();
  const std::vector<std::string> messages = LogMessages(capture.Finish());
  ASSERT_EQ(messages.size(), static_cast<std::size_t>(kThreads * kLines));
  for (const std::string& message : messages) {
    ASSERT_EQ(message.size(), 206u) << message;
    EXPECT_EQ(message.substr(6), std::string(200, message[6]));
  }
}

}  // namespace
}  // namespace lumo::typing::text::jieba

namespace lumo::testing {
namespace {

// The capture helper itself: lines without a proper header are flagged.
TEST(LogMessagesTest, HeadersAreCheckedAndCutOff) {
  EXPECT_EQ(LogMessages("2024-03-21 09:05:07 a/b.cc:12 ERROR x y\n"), std::vector<std::string>{"ERROR x y"});
  EXPECT_EQ(LogMessages("2024-03-21 09:05:07 a/b.cc ERROR x\n"),
            std::vector<std::string>{"BAD HEADER: 2024-03-21 09:05:07 a/b.cc ERROR x"});
  EXPECT_EQ(LogMessages("2024-3-21 09:05:07 a.cc:1 ERROR x"),
            std::vector<std::string>{"BAD HEADER: 2024-3-21 09:05:07 a.cc:1 ERROR x"});
  EXPECT_EQ(LogMessages(""), std::vector<std::string>{});
}

}  // namespace
}  // namespace lumo::testing

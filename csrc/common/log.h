// The diagnostic log: one line per event on standard error,
// "<local time> <source file>:<line> <LEVEL> <message>".
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <type_traits>

namespace lumo::typing::text::jieba {

// The levels the engine writes; their numbers are what the companion
// package's log hook receives.
enum class LogLevel : int { kError = 0, kFatal = 1 };

// The level name that a log line shows ("ERROR" or "FATAL").
std::string_view LogLevelName(LogLevel level);

// One log entry. The header (time, source position, level) is formatted when
// the entry starts; message parts are appended; the whole line is written to
// standard error with a single write when the entry ends, so that lines from
// several threads never interleave.
class LogEntry {
 public:
  LogEntry(LogLevel level, const char* file, int line);
  LogEntry(const LogEntry&) = delete;
  LogEntry& operator=(const LogEntry&) = delete;
  ~LogEntry();

  LogEntry& operator<<(std::string_view part) {
    buffer_.append(part);
    return *this;
  }
  LogEntry& operator<<(const char* part) { return *this << std::string_view(part); }
  LogEntry& operator<<(const std::string& part) { return *this << std::string_view(part); }
  // A char is a character of the message; other integers are written in decimal.
  LogEntry& operator<<(char part) {
    buffer_.push_back(part);
    return *this;
  }
  template <typename Int, typename = std::enable_if_t<std::is_integral_v<Int> && !std::is_same_v<Int, char>>>
  LogEntry& operator<<(Int value) {
    buffer_.append(std::to_string(value));
    return *this;
  }

 protected:
  // The message: everything after the level name and its space.
  std::string_view Message() const { return std::string_view(buffer_).substr(message_start_); }
  // Writes the line once; later calls do nothing.
  void Write();

 private:
  std::string buffer_;
  std::size_t message_start_ = 0;
  bool written_ = false;
  LogLevel level_;
};

// Where finished lines go instead of standard error on the calling thread (see
// log_sink.h); returns false when no sink is installed there.
bool DeliverToLogSink(LogLevel level, std::string_view line, std::size_t message_start);

// Thrown when a fatal check fails; what() is the FATAL message, from
// "exp: [" on. Loading stops with it and nothing partly built is kept.
class FatalError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The FATAL entry of a failed check. Its message begins
// "exp: [<expression>] false. "; the check's message parts follow.
class FatalEntry : public LogEntry {
 public:
  FatalEntry(std::string_view expression, const char* file, int line);
  // Writes the line, then throws FatalError carrying the message.
  [[noreturn]] void Fail();
};

// Writes the FATAL line of a failed check, expression being the check's text
// as the message shows it, followed by parts, and throws FatalError. Loading
// stops there: nothing partly built is kept.
template <typename... Parts>
[[noreturn]] void FailCheck(std::string_view expression, const char* file, int line, const Parts&... parts) {
  FatalEntry entry(expression, file, line);
  ((entry << parts), ...);
  entry.Fail();
}

}  // namespace lumo::typing::text::jieba

#define LUMO_LOG(level) ::lumo::typing::text::jieba::LogEntry(level, __FILE__, __LINE__)
#define LUMO_LOG_ERROR LUMO_LOG(::lumo::typing::text::jieba::LogLevel::kError)

// When cond is false, writes the FATAL line "exp: [<expression>] false. "
// followed by the remaining arguments, and throws FatalError; otherwise
// nothing (the message arguments are not evaluated). expression is the text
// that messages quote, given explicitly so that they do not change with the
// code of the condition.
#define LUMO_FATAL_CHECK(cond, expression, ...)                                                                  \
  do {                                                                                                           \
    if (!(cond)) ::lumo::typing::text::jieba::FailCheck(expression, __FILE__, __LINE__ __VA_OPT__(, ) __VA_ARGS__); \
  } while (false)

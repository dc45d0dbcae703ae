#include "common/log.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "common/write_all.h"

namespace lumo::typing::text::jieba {

std::string_view LogLevelName(LogLevel level) {
  switch (level) {
    case LogLevel::kError: return "ERROR";
    case LogLevel::kFatal: return "FATAL";
  }
  return "UNKNOWN";
}

LogEntry::LogEntry(LogLevel level, const char* file, int line) : level_(level) {
  char time_text[32];
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  const std::size_t time_length = std::strftime(time_text, sizeof(time_text), "%Y-%m-%d %H:%M:%S", &local);
  buffer_.reserve(128);
  buffer_.append(time_text, time_length);
  buffer_.push_back(' ');
  buffer_.append(file);
  buffer_.push_back(':');
  buffer_.append(std::to_string(line));
  buffer_.push_back(' ');
  buffer_.append(LogLevelName(level));
  buffer_.push_back(' ');
  message_start_ = buffer_.size();
}

LogEntry::~LogEntry() { Write(); }

void LogEntry::Write() {
  if (written_) return;
  written_ = true;
  if (DeliverToLogSink(level_, buffer_, message_start_)) return;
  // One write call for the whole line keeps lines of concurrent threads apart.
  buffer_.push_back('\n');
  // Standard error may be gone: nothing sensible is left to do then.
  common::WriteAll(STDERR_FILENO, buffer_);
}

FatalEntry::FatalEntry(std::string_view expression, const char* file, int line)
    : LogEntry(LogLevel::kFatal, file, line) {
  *this << "exp: [" << expression << "] false. ";
}

void FatalEntry::Fail() {
  std::string message(Message());
  Write();
  throw FatalError(message);
}

}  // namespace lumo::typing::text::jieba

#include "tokenizer/jieba/log.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <exception>

namespace lumo::typing::text::jieba {

std::string_view LogLevelName(LogLevel level) {
  switch (level) {
    case LogLevel::kDebug: return "DEBUG";
    case LogLevel::kInfo: return "INFO";
    case LogLevel::kWarn: return "WARN";
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
  const char* data = buffer_.data();
  std::size_t left = buffer_.size();
  while (left > 0) {
    const ssize_t written = ::write(STDERR_FILENO, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      return;  // standard error is gone: nothing sensible is left to do
    }
    data += written;
    left -= static_cast<std::size_t>(written);
  }
}

FatalEntry::FatalEntry(const char* expression, const char* file, int line)
    : LogEntry(LogLevel::kFatal, file, line), uncaught_at_start_(std::uncaught_exceptions()) {
  *this << "exp: [" << expression << "] false. ";
}

FatalEntry::~FatalEntry() noexcept(false) {
  std::string message(Message());
  Write();
  // While another exception unwinds the stack, throwing would terminate.
  if (std::uncaught_exceptions() == uncaught_at_start_) throw FatalError(message);
}

}  // namespace lumo::typing::text::jieba

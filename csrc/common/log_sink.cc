#include "common/log_sink.h"

#include <utility>

namespace lumo::typing::text::jieba {

namespace {

thread_local LogSink* current_sink = nullptr;

}  // namespace

ScopedLogSink::ScopedLogSink(LogSink sink) : sink_(std::move(sink)), previous_(current_sink) {
  current_sink = &sink_;
}

ScopedLogSink::~ScopedLogSink() { current_sink = previous_; }

bool DeliverToLogSink(LogLevel level, std::string_view line, std::size_t message_start) {
  if (current_sink == nullptr) return false;
  // The header is "<date> <time> <file>:<line> <LEVEL> "; the source position
  // is its third space-separated part.
  std::string_view header = line.substr(0, message_start);
  std::string_view source;
  const std::size_t date_end = header.find(' ');
  const std::size_t time_end = date_end == std::string_view::npos ? date_end : header.find(' ', date_end + 1);
  if (time_end != std::string_view::npos) {
    const std::size_t source_end = header.find(' ', time_end + 1);
    if (source_end != std::string_view::npos) source = header.substr(time_end + 1, source_end - time_end - 1);
  }
  (*current_sink)(LogLine{level, source, line.substr(message_start)});
  return true;
}

}  // namespace lumo::typing::text::jieba

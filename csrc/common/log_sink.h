// Routing of the diagnostic log away from standard error, one thread at a
// time: a host that wants the engine's lines (to hand them to its own logging)
// installs a sink for the duration of a call on the thread that makes it.
#pragma once

#include <functional>
#include <string_view>

#include "common/log.h"

namespace lumo::typing::text::jieba {

// One finished log line: its level, its source position ("file:line") and its
// message (what follows the level name). The views live for the call only.
struct LogLine {
  LogLevel level;
  std::string_view source;
  std::string_view message;
};

using LogSink = std::function<void(const LogLine&)>;

// While alive, every line that the current thread finishes goes to sink
// instead of standard error; other threads are not affected. Scopes nest: the
// previous sink of the thread comes back when the scope ends. The sink must
// not throw.
class ScopedLogSink {
 public:
  explicit ScopedLogSink(LogSink sink);
  ScopedLogSink(const ScopedLogSink&) = delete;
  ScopedLogSink& operator=(const ScopedLogSink&) = delete;
  ~ScopedLogSink();

 private:
  LogSink sink_;
  LogSink* previous_;
};

}  // namespace lumo::typing::text::jieba

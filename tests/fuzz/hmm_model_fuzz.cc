// The HMM model loader on arbitrary file content: it either builds a model or
// stops with FatalError. A built model then segments a fixed sentence and the
// input itself with the HMM segmenter.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tokenizer/jieba/hmm_model.h"
#include "tokenizer/jieba/hmm_segment.h"
#include "common/log.h"

namespace {

using lumo::fuzz::Fail;
using lumo::fuzz::MemoryFile;
namespace jieba = lumo::typing::text::jieba;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view content(reinterpret_cast<const char*>(data), size);
  const MemoryFile file(content);
  try {
    const jieba::HMMModel model(file.path());
    const jieba::HMMSegment segmenter(model);
    std::vector<std::string> words;
    segmenter.SplitSentence("\xE4\xB8\xAD\xE5\x9B\xBD\xE7\x9A\x84\xE5\xA4\xA7\xE5\xAD\xA6 abc123 \xE4\xBA\xBA", words);
    segmenter.SplitSentence(content.substr(0, 256), words);
  } catch (const jieba::FatalError& error) {
    if (std::string_view(error.what()).substr(0, 6) != "exp: [") Fail("fatal message without its check");
  }
  return 0;
}

// The dictionary loaders on arbitrary file content. The first byte picks the
// file: even, the main dictionary; odd, a user dictionary over the fixed main
// one. The load either builds a dictionary or stops with FatalError; a built
// dictionary then segments a fixed sentence and the input itself.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "tokenizer/jieba/dict_trie.h"
#include "common/log.h"
#include "tokenizer/jieba/mp_segment.h"

namespace {

using lumo::fuzz::Fail;
using lumo::fuzz::MemoryFile;
namespace jieba = lumo::typing::text::jieba;

void Segment(const jieba::DictTrie& dictionary, std::string_view content) {
  const jieba::MPSegment segmenter(dictionary);
  std::vector<std::string> words;
  segmenter.SplitSentence("\xE4\xB8\xAD\xE5\x9B\xBD\xE4\xBA\xBA\xE6\xB0\x91 ab\xE5\x8C\x97\xE4\xBA\xAC", words);
  segmenter.SplitSentence(content.substr(0, 256), words);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool user = (data[0] & 1) != 0;
  const std::string_view content(reinterpret_cast<const char*>(data) + 1, size - 1);
  const MemoryFile file(content);
  const MemoryFile fixed_main(lumo::fuzz::kDictionary);
  try {
    const jieba::DictTrie dictionary(user ? fixed_main.path() : file.path(), user ? file.path() : "");
    if (user && dictionary.EntryCount() < 15) Fail("the fixed main dictionary lost entries");
    Segment(dictionary, content);
  } catch (const jieba::FatalError& error) {
    if (std::string_view(error.what()).substr(0, 6) != "exp: [") Fail("fatal message without its check");
  }
  return 0;
}

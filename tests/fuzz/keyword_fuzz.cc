// The keyword-resource loaders on arbitrary file content. The first byte
// picks the file: even, the IDF table; odd, the stop-word list (the other
// file is the fixed one). The load either succeeds or stops with FatalError.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "tokenizer/jieba/dict_trie.h"
#include "tokenizer/jieba/hmm_model.h"
#include "tokenizer/jieba/keyword_extractor.h"
#include "common/log.h"

namespace {

using lumo::fuzz::Fail;
using lumo::fuzz::MemoryFile;
namespace jieba = lumo::typing::text::jieba;

struct Resources {
  Resources()
      : dictionary_file(lumo::fuzz::kDictionary),
        model_file(lumo::fuzz::kHmmModel),
        idf_file(lumo::fuzz::kIdf),
        stop_file(lumo::fuzz::kStopWords),
        dictionary(dictionary_file.path(), ""),
        model(model_file.path()) {}
  MemoryFile dictionary_file;
  MemoryFile model_file;
  MemoryFile idf_file;
  MemoryFile stop_file;
  jieba::DictTrie dictionary;
  jieba::HMMModel model;
};

const Resources& Fixed() {
  static const std::unique_ptr<Resources> resources = std::make_unique<Resources>();
  return *resources;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const bool stop_words = (data[0] & 1) != 0;
  const std::string_view content(reinterpret_cast<const char*>(data) + 1, size - 1);
  const Resources& fixed = Fixed();
  const MemoryFile file(content);
  try {
    const jieba::KeywordExtractor extractor(fixed.dictionary, fixed.model,
                                            stop_words ? fixed.idf_file.path() : file.path(),
                                            stop_words ? file.path() : fixed.stop_file.path());
    if (stop_words && extractor.IdfTable().size() != 3) Fail("the fixed IDF table lost entries");
  } catch (const jieba::FatalError& error) {
    if (std::string_view(error.what()).substr(0, 6) != "exp: [") Fail("fatal message without its check");
  }
  return 0;
}

// The data-file check against the engine itself: the input is a main
// dictionary and an HMM model separated by the first NUL byte. The check must
// pass exactly when the engine builds from the same files.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_support.h"
#include "tokenizer/jieba/data_file_check.h"
#include "tokenizer/jieba/jieba.h"
#include "common/log.h"

namespace {

using lumo::fuzz::Fail;
using lumo::fuzz::MemoryFile;
namespace jieba = lumo::typing::text::jieba;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  const std::size_t split = input.find('\0');
  const MemoryFile main_dict(input.substr(0, split));
  const MemoryFile model(split == std::string_view::npos ? std::string_view() : input.substr(split + 1));
  const MemoryFile user_dict("x n\n");
  const MemoryFile idf("x 1\n");
  const MemoryFile stop_words("\n");
  const jieba::DataFileProblem problem =
      jieba::CheckDataFiles(main_dict.path(), model.path(), user_dict.path(), idf.path(), stop_words.path());
  bool built = true;
  try {
    const jieba::Jieba engine(main_dict.path(), model.path(), user_dict.path(), idf.path(), stop_words.path());
  } catch (const jieba::FatalError&) {
    built = false;
  }
  if (built != (problem.kind == jieba::DataFileProblem::Kind::kNone)) Fail("check and engine disagree");
  if (!built && problem.kind != jieba::DataFileProblem::Kind::kMalformed) Fail("readable files reported unreadable");
  return 0;
}

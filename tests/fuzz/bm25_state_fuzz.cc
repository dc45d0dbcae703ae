// The readers of pickled model and encoder states on arbitrary bytes: each
// either rebuilds an object or throws "malformed BM25 state"; a rebuilt
// encoder writes a state that reads back to the same statistics, and merging
// it into itself either doubles it or leaves it unchanged.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bm25/bm25_encoder.h"
#include "fuzz/fuzz_support.h"

namespace {

using lumo::fuzz::Fail;
using lumo::typing::text::BM25;
using lumo::typing::text::BM25Encoder;
using lumo::typing::text::IdfKind;

void CheckMalformed(const std::invalid_argument& error) {
  if (std::strcmp(error.what(), "malformed BM25 state") != 0) Fail("unexpected state error message");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view state(reinterpret_cast<const char*>(data), size);
  try {
    const BM25 model = BM25::FromState(state);
    if (BM25::FromState(model.SaveState()).SaveState().size() != model.SaveState().size()) {
      Fail("a model state does not read back");
    }
  } catch (const std::invalid_argument& error) {
    CheckMalformed(error);
  }
  try {
    BM25Encoder encoder = BM25Encoder::FromState(state, IdfKind::kDocument);
    if (!BM25Encoder::FromState(encoder.SaveState(), IdfKind::kDocument).SameStatistics(encoder)) {
      Fail("an encoder state does not read back to the same statistics");
    }
    const BM25Encoder before = encoder;
    try {
      encoder.Merge(encoder);
      if (encoder.model().doc_count() != 2 * before.model().doc_count()) Fail("merging into itself lost documents");
    } catch (const std::overflow_error&) {
      if (!encoder.SameStatistics(before)) Fail("a refused merge changed the encoder");
    } catch (const std::invalid_argument&) {
      // NaN parameters never compare equal, so such an encoder merges with nothing.
    }
    encoder.Idf("a");
  } catch (const std::invalid_argument& error) {
    CheckMalformed(error);
  }
  return 0;
}

// The words of a text as the token texts a str token trains and encodes
// under: the engine's code point slices, each encoded as UTF-8.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string_view>
#include <vector>

#include "bindings/lumotext/engine_texts.h"
#include "common/utf8.h"

namespace lumo::bindings::companion {

// Writes the UTF-8 of the code points at units to out (room for 4 bytes per
// unit, 3 for two-byte units, 2 for one-byte units); returns its end. No
// unit is a surrogate: the text was checked.
template <typename Unit>
char* EncodeUtf8(const Unit* units, std::size_t length, char* out) {
  for (std::size_t i = 0; i < length; ++i) out = WriteUtf8(units[i], out);
  return out;
}

// One worker's room for cutting texts into token texts, reused text after
// text.
class TextTokens {
 public:
  // The words of text (which must have UTF-8: EncodableUnder) in mode, as
  // UTF-8 views that live until the next call.
  std::span<const std::string_view> Cut(const Jieba& engine, Mode mode, const CodePointText& text) {
    CutSlices(engine, mode, text, slices_);
    std::size_t units = 0;
    for (const WordSlice& slice : slices_) units += slice.byte_length;
    const std::size_t room = units * (text.width == 1 ? 2 : text.width == 2 ? 3 : 4);
    if (room > bytes_room_) {
      bytes_.reset(new char[room]);
      bytes_room_ = room;
    }
    tokens_.resize(slices_.size());
    const auto encode = [&](const auto* text_units) {
      char* out = bytes_.get();
      for (std::size_t k = 0; k < slices_.size(); ++k) {
        char* end = EncodeUtf8(text_units + slices_[k].byte_offset, slices_[k].byte_length, out);
        tokens_[k] = std::string_view(out, static_cast<std::size_t>(end - out));
        out = end;
      }
    };
    switch (text.width) {
      case 1: encode(static_cast<const std::uint8_t*>(text.data)); break;
      case 2: encode(static_cast<const std::uint16_t*>(text.data)); break;
      default: encode(static_cast<const std::uint32_t*>(text.data)); break;
    }
    return tokens_;
  }

  // The code point slices of the words of the last Cut, in the same order.
  const std::vector<WordSlice>& slices() const { return slices_; }

 private:
  std::vector<WordSlice> slices_;
  std::unique_ptr<char[]> bytes_;
  std::size_t bytes_room_ = 0;
  std::vector<std::string_view> tokens_;
};

}  // namespace lumo::bindings::companion

// One dictionary word with its weight and part-of-speech tag.
#pragma once

#include <string>

#include "tokenizer/jieba/rune.h"

namespace lumo::typing::text::jieba {

struct DictEntry {
  CodePointList word;   // the word's code points in order
  double weight = 0.0;  // natural log of the word's share of the main dictionary total
  std::string tag;      // part-of-speech tag; empty when the line gives none
};

}  // namespace lumo::typing::text::jieba

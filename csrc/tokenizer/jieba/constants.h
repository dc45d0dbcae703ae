// Constants shared by the dictionary and the segmenters.
#pragma once

#include <cstddef>

namespace lumo::typing::text::jieba {

// The log-probability floor of the segmenters: the value of an impossible
// emission or path.
inline constexpr double MIN_LOG_PROB = -3.14e100;

// The longest dictionary word, in runes, that the lattice looks for.
inline constexpr std::size_t MAX_WORD_RUNES = 512;

}  // namespace lumo::typing::text::jieba

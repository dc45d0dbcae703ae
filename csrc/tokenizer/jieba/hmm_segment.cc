#include "tokenizer/jieba/hmm_segment.h"

#include "tokenizer/jieba/constants.h"

namespace lumo::typing::text::jieba {

HMMSegment::HMMSegment(const HMMModel& model) : model_(model) {}

HMMSegment::~HMMSegment() = default;

void HMMSegment::SplitRunes(const RangeText& range, WordSink& sink, SegmentWorkspace& workspace) const {
  std::uint32_t* lengths = workspace.WordLengths(range.size);
  WordLengths(range.runes, range.size, lengths, workspace);
  sink.AddLengths(lengths, range.size);
}

void HMMSegment::WordLengths(const Rune* runes, std::size_t size, std::uint32_t* lengths,
                             SegmentWorkspace& workspace) const {
  const Rune* const end = runes + size;
  const Rune* left = runes;
  const Rune* right = runes;
  while (right != end) {
    if (*right >= 0x80) {
      ++right;
      continue;
    }
    if (left != right) ModelCut(left, static_cast<std::size_t>(right - left), lengths + (left - runes), workspace);
    left = right;
    const Rune* word_end = LetterRunEnd(left, end);
    if (word_end == left) word_end = NumberRunEnd(left, end);
    if (word_end == left) word_end = left + 1;
    lengths[left - runes] = static_cast<std::uint32_t>(word_end - left);
    left = right = word_end;
  }
  if (left != right) ModelCut(left, static_cast<std::size_t>(right - left), lengths + (left - runes), workspace);
}

void HMMSegment::ModelCut(const Rune* runes, std::size_t size, std::uint32_t* lengths,
                          SegmentWorkspace& workspace) const {
  // One rune is one word whatever its state (the last state is E or S).
  if (size == 1) {
    lengths[0] = 1;
    return;
  }
  std::uint8_t* states = workspace.StateBytes(size);
  Viterbi(runes, size, states);
  std::size_t word_start = 0;
  for (std::size_t x = 0; x < size; ++x) {
    if (states[x] == kStateE || states[x] == kStateS) {
      lengths[word_start] = static_cast<std::uint32_t>(x + 1 - word_start);
      word_start = x + 1;
    }
  }
}

void HMMSegment::Viterbi(const Rune* runes, std::size_t size, std::uint8_t* states) const {
  double trans[STATUS_SUM][STATUS_SUM];
  for (std::size_t p = 0; p < STATUS_SUM; ++p) {
    for (std::size_t y = 0; y < STATUS_SUM; ++y) trans[p][y] = model_.TransProb(p, y);
  }

  double previous[STATUS_SUM];
  const double* emit = model_.EmissionRow(runes[0]);
  for (std::size_t y = 0; y < STATUS_SUM; ++y) previous[y] = emit[y] + model_.StartProb(y);
  states[0] = 0;  // rune 0 has no back-pointers
  for (std::size_t x = 1; x < size; ++x) {
    emit = model_.EmissionRow(runes[x]);
    double current[STATUS_SUM];
    unsigned back = 0;
    for (std::size_t y = 0; y < STATUS_SUM; ++y) {
      double best = MIN_LOG_PROB;
      unsigned best_previous = kStateE;
      const double e = emit[y];
      for (std::size_t p = 0; p < STATUS_SUM; ++p) {
        const double t = (trans[p][y] + previous[p]) + e;
        // Strictly greater: an equal value never replaces an earlier state.
        if (t > best) {
          best = t;
          best_previous = static_cast<unsigned>(p);
        }
      }
      current[y] = best;
      back |= best_previous << (2 * y);
    }
    states[x] = static_cast<std::uint8_t>(back);
    for (std::size_t y = 0; y < STATUS_SUM; ++y) previous[y] = current[y];
  }

  // Trace back, replacing each rune's back-pointers by its state.
  unsigned state = previous[kStateE] >= previous[kStateS] ? kStateE : kStateS;
  for (std::size_t x = size; x-- > 0;) {
    const unsigned back = states[x];
    states[x] = static_cast<std::uint8_t>(state);
    state = (back >> (2 * state)) & 3u;
  }
}

void HMMSegment::DecodeStates(const DecodedRune* begin, const DecodedRune* end,
                              std::vector<std::uint64_t>& states) const {
  const auto size = static_cast<std::size_t>(end - begin);
  states.resize(size);
  if (size == 0) return;
  std::vector<Rune> runes(size);
  for (std::size_t x = 0; x < size; ++x) runes[x] = begin[x].code_point;
  std::vector<std::uint8_t> decoded(size);
  Viterbi(runes.data(), size, decoded.data());
  for (std::size_t x = 0; x < size; ++x) states[x] = decoded[x];
}

}  // namespace lumo::typing::text::jieba

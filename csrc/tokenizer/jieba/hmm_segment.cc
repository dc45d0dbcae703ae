#include "tokenizer/jieba/hmm_segment.h"

#include "tokenizer/jieba/constants.h"

namespace lumo::typing::text::jieba {

namespace {

// Scratch tables longer than this many runes are freed after use, so that one
// very long stretch does not pin its memory to the thread for good.
constexpr std::size_t kKeptStretchRunes = 16384;

bool IsAsciiLetter(Rune c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsAsciiDigit(Rune c) { return c >= '0' && c <= '9'; }

template <typename Table>
void ReleaseIfLarge(Table& table, std::size_t kept) {
  if (table.capacity() > kept) Table().swap(table);
}

// The decoding tables, kept per thread and reused from stretch to stretch, so
// that a stretch allocates nothing once they have grown to the longest one.
struct ViterbiScratch {
  std::vector<double> weight;       // [x * STATUS_SUM + y]: best value of rune x in state y
  std::vector<std::int32_t> back;   // [x * STATUS_SUM + y]: state of rune x - 1 on that path
  std::vector<std::uint64_t> states;  // the decoded states of the model cut

  static ViterbiScratch& OfThisThread() {
    thread_local ViterbiScratch scratch;
    return scratch;
  }
};

}  // namespace

HMMSegment::HMMSegment(const HMMModel& model) : model_(model) {}

HMMSegment::~HMMSegment() = default;

void HMMSegment::SplitSentence(std::string_view sentence, std::vector<std::string>& words) const {
  SplitSentenceWith(sentence, words, [this](const DecodedRune* begin, const DecodedRune* end,
                                            std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

void HMMSegment::SplitSentence(std::string_view sentence, std::vector<WordRecord>& records) const {
  SplitSentenceWith(sentence, records, [this](const DecodedRune* begin, const DecodedRune* end,
                                              std::vector<WordRange>& ranges) { SplitRange(begin, end, ranges); });
}

const DecodedRune* HMMSegment::LetterRunEnd(const DecodedRune* start, const DecodedRune* end) {
  if (start == end || !IsAsciiLetter(start->code_point)) return start;
  const DecodedRune* rune = start + 1;
  while (rune != end && (IsAsciiLetter(rune->code_point) || IsAsciiDigit(rune->code_point))) ++rune;
  return rune;
}

const DecodedRune* HMMSegment::NumberRunEnd(const DecodedRune* start, const DecodedRune* end) {
  if (start == end || !IsAsciiDigit(start->code_point)) return start;
  const DecodedRune* rune = start + 1;
  while (rune != end && (IsAsciiDigit(rune->code_point) || rune->code_point == '.')) ++rune;
  return rune;
}

void HMMSegment::SplitRange(const DecodedRune* begin, const DecodedRune* end, std::vector<WordRange>& ranges) const {
  const DecodedRune* left = begin;
  const DecodedRune* right = begin;
  while (right != end) {
    if (right->code_point >= 0x80) {
      ++right;
      continue;
    }
    if (left != right) ModelCut(left, right, ranges);
    left = right;
    const DecodedRune* word_end = LetterRunEnd(left, end);
    if (word_end == left) word_end = NumberRunEnd(left, end);
    if (word_end == left) word_end = left + 1;
    ranges.push_back(WordRange{left, word_end - 1});
    left = right = word_end;
  }
  if (left != right) ModelCut(left, right, ranges);
}

void HMMSegment::ModelCut(const DecodedRune* first, const DecodedRune* last, std::vector<WordRange>& ranges) const {
  std::vector<std::uint64_t>& states = ViterbiScratch::OfThisThread().states;
  DecodeStates(first, last, states);
  const DecodedRune* word_start = first;
  for (std::size_t x = 0; x < states.size(); ++x) {
    if (states[x] == kStateE || states[x] == kStateS) {
      ranges.push_back(WordRange{word_start, first + x});
      word_start = first + x + 1;
    }
  }
  ReleaseIfLarge(states, kKeptStretchRunes);
}

void HMMSegment::DecodeStates(const DecodedRune* begin, const DecodedRune* end,
                              std::vector<std::uint64_t>& states) const {
  const std::size_t count = static_cast<std::size_t>(end - begin);
  states.resize(count);
  if (count == 0) return;
  ViterbiScratch& scratch = ViterbiScratch::OfThisThread();
  std::vector<double>& weight = scratch.weight;
  std::vector<std::int32_t>& back = scratch.back;
  weight.resize(count * STATUS_SUM);
  back.resize(count * STATUS_SUM);

  double trans[STATUS_SUM][STATUS_SUM];
  for (std::size_t p = 0; p < STATUS_SUM; ++p) {
    for (std::size_t y = 0; y < STATUS_SUM; ++y) trans[p][y] = model_.TransProb(p, y);
  }

  const double* emit = model_.EmissionRow(begin->code_point);
  for (std::size_t y = 0; y < STATUS_SUM; ++y) {
    weight[y] = emit[y] + model_.StartProb(y);
    back[y] = -1;
  }
  for (std::size_t x = 1; x < count; ++x) {
    emit = model_.EmissionRow(begin[x].code_point);
    const double* previous = &weight[(x - 1) * STATUS_SUM];
    double* current = &weight[x * STATUS_SUM];
    std::int32_t* current_back = &back[x * STATUS_SUM];
    for (std::size_t y = 0; y < STATUS_SUM; ++y) {
      double best = MIN_LOG_PROB;
      std::int32_t best_previous = kStateE;
      const double e = emit[y];
      for (std::size_t p = 0; p < STATUS_SUM; ++p) {
        const double t = (trans[p][y] + previous[p]) + e;
        // Strictly greater: an equal value never replaces an earlier state.
        if (t > best) {
          best = t;
          best_previous = static_cast<std::int32_t>(p);
        }
      }
      current[y] = best;
      current_back[y] = best_previous;
    }
  }

  const double* final_weights = &weight[(count - 1) * STATUS_SUM];
  std::int32_t state = final_weights[kStateE] >= final_weights[kStateS] ? kStateE : kStateS;
  for (std::size_t x = count; x-- > 0;) {
    states[x] = static_cast<std::uint64_t>(state);
    state = back[x * STATUS_SUM + static_cast<std::size_t>(state)];
  }

  ReleaseIfLarge(weight, kKeptStretchRunes * STATUS_SUM);
  ReleaseIfLarge(back, kKeptStretchRunes * STATUS_SUM);
}

}  // namespace lumo::typing::text::jieba

#include "bm25/token_frequency_table.h"

#include <cstring>
#include <stdexcept>

#include "bm25/token_hash.h"

namespace lumo::typing::text {

const TokenFrequencyTable::Entry* TokenFrequencyTable::FindEntry(std::string_view text, std::uint64_t hash) const {
  if (used_ == 0) return nullptr;
  const Entry& slot = slots_[FindSlot(text, hash)];
  return slot.held == 0 ? nullptr : &slot;
}

const std::int32_t* TokenFrequencyTable::FindDocuments(std::string_view text, std::uint64_t hash) const {
  if (used_ == 0) return nullptr;
  const Entry& slot = slots_[FindSlot(text, hash)];
  return (slot.held & kDocuments) ? &slot.documents : nullptr;
}

void TokenFrequencyTable::Reserve(std::size_t count) {
  std::size_t capacity = slots_.empty() ? 16 : slots_.size();
  while (capacity < count * 2) capacity *= 2;
  if (capacity != slots_.size()) Rehash(capacity);
}

TokenFrequencyTable::Entry& TokenFrequencyTable::Claim(std::size_t index, std::string_view text,
                                                       std::uint64_t hash) {
  Entry& slot = slots_[index];
  if (text.size() <= kInlineKey) {
    std::memcpy(slot.key, text.data(), text.size());
  } else {
    const std::uint64_t key_offset = arena_.size();
    arena_.append(text);  // first, so that a failed allocation leaves the slot free
    std::memcpy(slot.key, &key_offset, sizeof key_offset);
  }
  slot.hash = hash;
  slot.key_length = static_cast<std::uint32_t>(text.size());
  ++used_;
  return slot;
}

void TokenFrequencyTable::InsertEntry(std::string_view text, std::uint64_t hash, std::int32_t count,
                                      std::int32_t documents, std::uint32_t held) {
  if (text.size() > kMaxKey) throw std::length_error("token text too long");
  Reserve(used_ + 1);
  Entry& slot = Claim(FindSlot(text, hash), text, hash);
  slot.count = (held & kOccurrences) ? count : 0;
  slot.documents = (held & kDocuments) ? documents : 0;
  slot.held = held;
  counted_ += (held & kOccurrences) ? 1 : 0;
  documented_ += (held & kDocuments) ? 1 : 0;
}

void TokenFrequencyTable::Insert(std::string_view text, std::uint64_t hash, std::int32_t count) {
  if (Entry* entry = FindEntry(text, hash)) {
    // A token known so far by its document count only.
    entry->count = count;
    entry->held |= kOccurrences;
    ++counted_;
    return;
  }
  InsertEntry(text, hash, count, 0, kOccurrences);
}

void TokenFrequencyTable::SetCounter(std::string_view text, std::uint32_t counter, std::int32_t value) {
  const std::uint64_t hash = HashTokenText(text);
  Entry* entry = FindEntry(text, hash);
  if (!entry) {
    InsertEntry(text, hash, value, value, counter);
    return;
  }
  if (!(entry->held & counter)) {
    entry->held |= counter;
    ++(counter == kOccurrences ? counted_ : documented_);
  }
  (counter == kOccurrences ? entry->count : entry->documents) = value;
}

void TokenFrequencyTable::Rehash(std::size_t capacity) {
  // Built aside and swapped in, so that a failed allocation leaves the table
  // as it was.
  std::vector<Entry, HugePageAllocator<Entry>> grown(capacity, Entry{});
  const std::size_t mask = capacity - 1;
  for (const Entry& slot : slots_) {
    if (slot.held == 0) continue;
    std::size_t index = slot.hash & mask;
    while (grown[index].held != 0) index = (index + 1) & mask;
    grown[index] = slot;
  }
  slots_.swap(grown);
}

}  // namespace lumo::typing::text

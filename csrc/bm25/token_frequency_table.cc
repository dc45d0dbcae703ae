#include "bm25/token_frequency_table.h"

#include <cstring>
#include <stdexcept>

#include "bm25/token_hash.h"

namespace lumo::typing::text {


std::size_t TokenFrequencyTable::FindSlot(std::string_view text, std::uint64_t hash) const {
  const std::size_t mask = slots_.size() - 1;
  std::size_t index = hash & mask;
  while (true) {
    const Slot& slot = slots_[index];
    if (slot.key_length == kFreeSlot) return index;
    if (slot.hash == hash && slot.key_length == text.size()) {
      if (TokenBytesEqual(KeyData(slot), text.data(), text.size())) return index;
    }
    index = (index + 1) & mask;
  }
}

const std::int32_t* TokenFrequencyTable::Find(std::string_view text, std::uint64_t hash) const {
  if (size_ == 0) return nullptr;
  const Slot& slot = slots_[FindSlot(text, hash)];
  return slot.key_length == kFreeSlot ? nullptr : &slot.count;
}

std::int32_t* TokenFrequencyTable::Find(std::string_view text, std::uint64_t hash) {
  return const_cast<std::int32_t*>(static_cast<const TokenFrequencyTable&>(*this).Find(text, hash));
}

void TokenFrequencyTable::Reserve(std::size_t count) {
  std::size_t capacity = slots_.empty() ? 16 : slots_.size();
  while (capacity < count * 2) capacity *= 2;
  if (capacity != slots_.size()) Rehash(capacity);
}

void TokenFrequencyTable::Insert(std::string_view text, std::uint64_t hash, std::int32_t count) {
  if (text.size() >= kFreeSlot) throw std::length_error("token text too long");
  Reserve(size_ + 1);
  Slot& slot = slots_[FindSlot(text, hash)];
  if (text.size() <= kInlineKey) {
    std::memcpy(slot.inline_key, text.data(), text.size());
  } else {
    const std::size_t key_offset = arena_.size();
    arena_.append(text);  // first, so that a failed allocation leaves the slot free
    slot.key_offset = key_offset;
  }
  slot.hash = hash;
  slot.key_length = static_cast<std::uint32_t>(text.size());
  slot.count = count;
  ++size_;
}

void TokenFrequencyTable::Set(std::string_view text, std::int32_t count) {
  const std::uint64_t hash = HashTokenText(text);
  if (std::int32_t* existing = Find(text, hash)) {
    *existing = count;
  } else {
    Insert(text, hash, count);
  }
}

void TokenFrequencyTable::Rehash(std::size_t capacity) {
  // Built aside and swapped in, so that a failed allocation leaves the table
  // as it was.
  std::vector<Slot, HugePageAllocator<Slot>> grown(capacity, Slot{});
  const std::size_t mask = capacity - 1;
  for (const Slot& slot : slots_) {
    if (slot.key_length == kFreeSlot) continue;
    std::size_t index = slot.hash & mask;
    while (grown[index].key_length != kFreeSlot) index = (index + 1) & mask;
    grown[index] = slot;
  }
  slots_.swap(grown);
}

}  // namespace lumo::typing::text

// The model's corpus table: token text to its total number of occurrences
// and, for the encoder, the number of documents that hold it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "bm25/token_hash.h"
#include "common/huge_page_allocator.h"

namespace lumo::typing::text {

// An open-addressing hash table from token text (bytes) to two signed 32-bit
// counters, so that training updates both with one probe. Keys of up to 12
// bytes live in their slot, so that a lookup touches one cache line; longer
// keys are copied into an append-only byte arena and referred to by offset.
// Entries are never removed. Lookups take the caller's hash (HashTokenText of
// the key), so a token is hashed once per call. The iteration order is
// unspecified.
class TokenFrequencyTable {
 public:
  // The two counters an entry can hold. Training gives a token both; a
  // loaded model may give a token only one of them.
  static constexpr std::uint32_t kOccurrences = 1;  // every occurrence in the trained documents
  static constexpr std::uint32_t kDocuments = 2;    // the trained documents that hold the token
  static constexpr std::uint32_t kBoth = kOccurrences | kDocuments;

  // One token's counters; a counter missing from held reads 0.
  struct alignas(32) Entry {
    std::uint64_t hash = 0;
    std::uint32_t key_length : 30 = 0;
    std::uint32_t held : 2 = 0;  // kOccurrences | kDocuments; 0 marks a free slot
    std::int32_t count = 0;
    std::int32_t documents = 0;
    char key[12];  // the key's bytes, or for a longer key its arena offset
  };
  static_assert(sizeof(Entry) == 32, "two entries per cache line");

  TokenFrequencyTable() = default;
  TokenFrequencyTable(const TokenFrequencyTable&) = default;
  TokenFrequencyTable& operator=(const TokenFrequencyTable&) = default;
  TokenFrequencyTable(TokenFrequencyTable&&) noexcept = default;
  TokenFrequencyTable& operator=(TokenFrequencyTable&&) noexcept = default;

  // The number of tokens with an occurrence count, and with a document count.
  std::size_t size() const { return counted_; }
  std::size_t document_size() const { return documented_; }
  bool empty() const { return counted_ == 0; }
  // The number of entries, whichever counters they hold.
  std::size_t entry_count() const { return used_; }

  // The occurrence count of text, or null when text has none. The pointer
  // stays valid until the next insertion. Inline: training and the encoders
  // look up every distinct token.
  const std::int32_t* Find(std::string_view text, std::uint64_t hash) const {
    if (used_ == 0) return nullptr;
    const Entry& slot = slots_[FindSlot(text, hash)];
    return (slot.held & kOccurrences) ? &slot.count : nullptr;
  }
  std::int32_t* Find(std::string_view text, std::uint64_t hash) {
    return const_cast<std::int32_t*>(static_cast<const TokenFrequencyTable&>(*this).Find(text, hash));
  }
  // The document count of text, or null when text has none.
  const std::int32_t* FindDocuments(std::string_view text, std::uint64_t hash) const;

  // The entry of text with whichever counters it holds, or null when text is
  // absent. Valid until the next insertion; a caller that adds a counter
  // also adds its flag to held.
  const Entry* FindEntry(std::string_view text, std::uint64_t hash) const;
  Entry* FindEntry(std::string_view text, std::uint64_t hash) {
    return const_cast<Entry*>(static_cast<const TokenFrequencyTable&>(*this).FindEntry(text, hash));
  }

  // Gives text, which must have no occurrence count yet, that count.
  // Throws std::length_error for a text of 1 GiB or more.
  void Insert(std::string_view text, std::uint64_t hash, std::int32_t count);
  // Adds text, which must be absent, with the counters held names.
  void InsertEntry(std::string_view text, std::uint64_t hash, std::int32_t count, std::int32_t documents,
                   std::uint32_t held);

  // Sets one counter of text (kOccurrences or kDocuments), inserting text
  // when absent.
  void Set(std::string_view text, std::int32_t count) { SetCounter(text, kOccurrences, count); }
  void SetCounter(std::string_view text, std::uint32_t counter, std::int32_t value);

  // Makes room for at least more new entries without rehashing.
  void ReserveAdditional(std::size_t more) { Reserve(used_ + more); }

  // Starts loading the slot where a lookup of hash begins, so that several
  // lookups can wait for memory at once. A caller looking up a list of tokens
  // prefetches the token kPrefetchAhead places ahead of the one it looks up:
  // the table is larger than the caches, and prefetching a whole long list at
  // once asks for more loads than can be under way.
  static constexpr std::size_t kPrefetchAhead = 8;
  void Prefetch(std::uint64_t hash) const {
    if (!slots_.empty()) __builtin_prefetch(&slots_[hash & (slots_.size() - 1)]);
  }

  // Calls visit(text, count) for every entry with an occurrence count, in
  // unspecified order.
  template <typename Visitor>
  void ForEach(Visitor&& visit) const {
    ForEachCounter(kOccurrences, visit);
  }

  // Calls visit(text, value) for every entry holding counter.
  template <typename Visitor>
  void ForEachCounter(std::uint32_t counter, Visitor&& visit) const {
    for (const Entry& slot : slots_) {
      if (slot.held & counter) visit(KeyOf(slot), counter == kOccurrences ? slot.count : slot.documents);
    }
  }

  // Calls visit(text, entry) for every entry.
  template <typename Visitor>
  void ForEachEntry(Visitor&& visit) const {
    for (const Entry& slot : slots_) {
      if (slot.held != 0) visit(KeyOf(slot), slot);
    }
  }

 private:
  static constexpr std::size_t kInlineKey = sizeof(Entry::key);
  static constexpr std::size_t kMaxKey = (std::size_t{1} << 30) - 1;

  const char* KeyData(const Entry& slot) const {
    if (slot.key_length <= kInlineKey) return slot.key;
    std::uint64_t offset;
    std::memcpy(&offset, slot.key, sizeof offset);
    return arena_.data() + offset;
  }
  std::string_view KeyOf(const Entry& slot) const { return {KeyData(slot), slot.key_length}; }
  // The slot of text, or the free slot where it would go.
  std::size_t FindSlot(std::string_view text, std::uint64_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t index = hash & mask;
    while (true) {
      const Entry& slot = slots_[index];
      if (slot.held == 0) return index;
      if (slot.hash == hash && slot.key_length == text.size() &&
          TokenBytesEqual(KeyData(slot), text.data(), text.size())) {
        return index;
      }
      index = (index + 1) & mask;
    }
  }
  // Fills the free slot at index with text; the counters are the caller's.
  Entry& Claim(std::size_t index, std::string_view text, std::uint64_t hash);
  // Makes room for count entries in all.
  void Reserve(std::size_t count);
  void Rehash(std::size_t capacity);

  std::vector<Entry, HugePageAllocator<Entry>> slots_;  // power-of-two size, at most half full
  std::string arena_;        // the key bytes of long keys, back to back
  std::size_t used_ = 0;     // occupied slots
  std::size_t counted_ = 0;  // entries holding kOccurrences
  std::size_t documented_ = 0;  // entries holding kDocuments
};

}  // namespace lumo::typing::text

// A bounded memo from short keys (sequences of 16-bit values) to 128-bit
// counts, for the completion counter.
//
// Open addressing with linear probing over a power-of-two table, at most half
// full (it doubles as entries come, from 1024 slots); the keys' values live in
// one pool. When either the entries or the pool reach their limit the memo is
// emptied and starts again, so its memory never grows past
//   2 * maxEntries (rounded up to a power of two) slots of 32 bytes
//   + maxKeyValues values of 2 bytes,
// and what it has grown to is kept until the memo is destroyed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace rxc {

class CountMemo {
 public:
  CountMemo(std::size_t maxEntries, std::size_t maxKeyValues);

  std::optional<unsigned __int128> find(std::span<const uint16_t> key) const;
  // Stores `value` under `key`, which must not be present; empties the memo
  // first when it is full.
  void insert(std::span<const uint16_t> key, unsigned __int128 value);
  void clear();

  std::size_t size() const { return entries_; }
  // How many times the memo was emptied for lack of room.
  uint64_t resets() const { return resets_; }

 private:
  struct Slot {
    uint64_t hash = 0;  // 0: empty
    uint32_t offset = 0;
    uint32_t length = 0;
    unsigned __int128 value = 0;
  };

  static uint64_t hashOf(std::span<const uint16_t> key);
  // Twice the slots, every entry moved to its new place.
  void grow();
  bool matches(const Slot& slot, uint64_t hash, std::span<const uint16_t> key) const;

  std::size_t maxEntries_;
  std::size_t maxKeyValues_;
  std::size_t mask_ = 0;
  std::vector<Slot> slots_;
  std::vector<uint16_t> pool_;
  std::size_t entries_ = 0;
  uint64_t resets_ = 0;
};

}  // namespace rxc

#include "engine/bounds/count_memo.h"

#include <algorithm>

namespace rxc {

namespace {
constexpr std::size_t kFirstSlots = 1024;
}  // namespace

CountMemo::CountMemo(std::size_t maxEntries, std::size_t maxKeyValues)
    : maxEntries_(std::max<std::size_t>(maxEntries, 1)), maxKeyValues_(maxKeyValues) {}

uint64_t CountMemo::hashOf(std::span<const uint16_t> key) {
  // Four values a step through a 64-bit multiply-xorshift mix; never 0,
  // which marks an empty slot. The two constants are SplitMix64's (G. Steele,
  // D. Lea and C. Flood, 2014; S. Vigna's reference code is public domain).
  uint64_t h = 0x9e3779b97f4a7c15ULL ^ key.size();
  std::size_t k = 0;
  auto mix = [&h](uint64_t word) {
    h ^= word;
    h *= 0xbf58476d1ce4e5b9ULL;
    h ^= h >> 31;
  };
  for (; k + 4 <= key.size(); k += 4) {
    mix(uint64_t{key[k]} | uint64_t{key[k + 1]} << 16 | uint64_t{key[k + 2]} << 32 |
        uint64_t{key[k + 3]} << 48);
  }
  uint64_t tail = 0;
  for (int shift = 0; k < key.size(); ++k, shift += 16) tail |= uint64_t{key[k]} << shift;
  mix(tail);
  h ^= h >> 29;
  return h | 1;
}

bool CountMemo::matches(const Slot& slot, uint64_t hash, std::span<const uint16_t> key) const {
  return slot.hash == hash && slot.length == key.size() &&
         std::equal(key.begin(), key.end(), pool_.begin() + slot.offset);
}

std::optional<unsigned __int128> CountMemo::find(std::span<const uint16_t> key) const {
  if (slots_.empty()) return std::nullopt;
  const uint64_t hash = hashOf(key);
  for (std::size_t s = hash & mask_;; s = (s + 1) & mask_) {
    const Slot& slot = slots_[s];
    if (slot.hash == 0) return std::nullopt;
    if (matches(slot, hash, key)) return slot.value;
  }
}

void CountMemo::insert(std::span<const uint16_t> key, unsigned __int128 value) {
  if (key.size() > maxKeyValues_) return;  // could never fit; not memoised
  if (slots_.empty()) {
    slots_.assign(kFirstSlots, Slot{});
    mask_ = kFirstSlots - 1;
  }
  if (entries_ >= maxEntries_ || pool_.size() + key.size() > maxKeyValues_) {
    clear();
    ++resets_;
  }
  if (2 * (entries_ + 1) > slots_.size()) grow();
  const uint64_t hash = hashOf(key);
  std::size_t s = hash & mask_;
  while (slots_[s].hash != 0) s = (s + 1) & mask_;
  slots_[s] = {hash, static_cast<uint32_t>(pool_.size()), static_cast<uint32_t>(key.size()), value};
  pool_.insert(pool_.end(), key.begin(), key.end());
  ++entries_;
}

void CountMemo::grow() {
  std::vector<Slot> old(2 * slots_.size());
  old.swap(slots_);
  mask_ = slots_.size() - 1;
  for (const Slot& slot : old) {
    if (slot.hash == 0) continue;
    std::size_t s = slot.hash & mask_;
    while (slots_[s].hash != 0) s = (s + 1) & mask_;
    slots_[s] = slot;
  }
}

void CountMemo::clear() {
  std::fill(slots_.begin(), slots_.end(), Slot{});
  pool_.clear();
  entries_ = 0;
}

}  // namespace rxc

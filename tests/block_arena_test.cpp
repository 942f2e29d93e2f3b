// The block arena that holds the network walk's memo: sizes, alignment,
// blocks that never overlap, given-back blocks reused, and large blocks.
#include "base/block_arena.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

namespace rxc {
namespace {

TEST(BlockArena, EverySizeGetsABlockAtMostHalfAgainAsLarge) {
  std::size_t previous = 0;
  for (std::size_t bytes = 1; bytes <= BlockArena::kLargestClassBytes; ++bytes) {
    const std::size_t block = BlockArena::blockBytes(bytes);
    ASSERT_GE(block, bytes);
    ASSERT_GE(block, previous) << bytes;
    ASSERT_EQ(block % 8, 0u) << bytes;
    if (bytes > 16) {
      ASSERT_LE(2 * block, 3 * bytes) << bytes;
    }
    previous = block;
  }
  EXPECT_EQ(BlockArena::blockBytes(BlockArena::kLargestClassBytes + 1), BlockArena::kChunkBytes);
  EXPECT_EQ(BlockArena::blockBytes(BlockArena::kChunkBytes + 1), 2 * BlockArena::kChunkBytes);
}

// Blocks of random sizes, each filled with its own byte, some given back and
// taken again: a block that overlapped another, or a given-back block handed
// out twice, would find another's byte in it.
TEST(BlockArena, BlocksNeverOverlapAndGivenBackBlocksServeAgain) {
  BlockArena arena;
  std::mt19937 random(11);
  std::uniform_int_distribution<std::size_t> size(1, 5000);
  struct Held {
    unsigned char* block;
    std::size_t bytes;
    unsigned char mark;
  };
  std::vector<Held> held;
  auto take = [&](unsigned char mark) {
    const std::size_t bytes = size(random);
    auto* block = static_cast<unsigned char*>(arena.allocate(bytes));
    ASSERT_EQ(reinterpret_cast<std::uintptr_t>(block) % 8, 0u);
    std::memset(block, mark, bytes);
    held.push_back({block, bytes, mark});
  };
  for (int k = 0; k < 3000; ++k) take(static_cast<unsigned char>(k));
  for (std::size_t k = 0; k < held.size(); k += 3) {
    arena.deallocate(held[k].block, held[k].bytes);
    held[k].block = nullptr;
  }
  for (int k = 0; k < 2000; ++k) take(static_cast<unsigned char>(k + 7));
  for (const Held& h : held) {
    if (h.block == nullptr) continue;
    for (std::size_t b = 0; b < h.bytes; ++b) ASSERT_EQ(h.block[b], h.mark);
  }
}

TEST(BlockArena, AGivenBackBlockIsTheNextOfItsClass) {
  BlockArena arena;
  void* first = arena.allocate(100);
  void* second = arena.allocate(100);
  arena.deallocate(first, 100);
  EXPECT_EQ(arena.allocate(97), first);  // the same class, 128 bytes
  EXPECT_NE(arena.allocate(100), second);
}

TEST(BlockArena, LargeBlocksAreChunksOfTheirOwn) {
  BlockArena arena;
  const std::size_t bytes = 3 * BlockArena::kChunkBytes + 5;
  auto* block = static_cast<unsigned char*>(arena.allocate(bytes));
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(block) % BlockArena::kChunkBytes, 0u);
  block[0] = 1;
  block[bytes - 1] = 2;
  arena.deallocate(block, bytes);
}

TEST(BlockArena, ServesAVectorThatGrowsByDoubling) {
  BlockArena arena;
  std::vector<uint64_t, ArenaAllocator<uint64_t>> values{ArenaAllocator<uint64_t>(arena)};
  for (uint64_t k = 0; k < 300000; ++k) values.push_back(k * k);  // past a chunk
  for (uint64_t k = 0; k < values.size(); ++k) ASSERT_EQ(values[k], k * k);
}

}  // namespace
}  // namespace rxc

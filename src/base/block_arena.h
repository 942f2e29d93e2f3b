// Memory for structures that grow by many small steps, such as the network
// walk's memo: blocks in size classes (two to a doubling, 16 * 2^k and
// 24 * 2^k bytes) cut from chunks of 2 MiB, a block given back kept for the
// next request of its class, and everything returned to the system when the
// arena ends. The chunks are aligned to 2 MiB and marked as fit for huge
// pages: a walk that touches tens of megabytes in small vectors spent a third
// of its time in the system allocator and in the faults of 4 KiB pages.
//
// One arena serves one walk: it is not safe to share between threads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rxc {

class BlockArena {
 public:
  static constexpr std::size_t kChunkBytes = std::size_t{2} << 20;
  // Larger requests take chunks of their own, given back to the system as
  // soon as they are given back here.
  static constexpr std::size_t kLargestClassBytes = kChunkBytes / 2;

  BlockArena() = default;
  ~BlockArena();
  BlockArena(const BlockArena&) = delete;
  BlockArena& operator=(const BlockArena&) = delete;

  // A block of blockBytes(bytes), aligned to 8 bytes; throws std::bad_alloc
  // when the system refuses.
  void* allocate(std::size_t bytes);
  // Takes back a block that allocate(bytes) gave.
  void deallocate(void* block, std::size_t bytes) noexcept;

  // The size of the block allocate(bytes) gives.
  static std::size_t blockBytes(std::size_t bytes);

 private:
  static constexpr int kClasses = 33;  // 16 B to kLargestClassBytes
  static int classOf(std::size_t bytes);
  static std::size_t classBytes(int sizeClass);
  // A chunk of `bytes` (a multiple of kChunkBytes) from the system.
  static void* systemChunk(std::size_t bytes);
  // Files what is left of the current chunk under the classes it fits.
  void keepTail();

  struct FreeBlock {
    FreeBlock* next;
  };
  std::vector<void*> chunks_;
  char* next_ = nullptr;  // the current chunk's unused part
  char* end_ = nullptr;
  FreeBlock* free_[kClasses] = {};
};

// The arena as a standard allocator, for containers that grow by doubling.
template <class T>
class ArenaAllocator {
  static_assert(alignof(T) <= 8, "the arena aligns its blocks to 8 bytes");

 public:
  using value_type = T;
  explicit ArenaAllocator(BlockArena& arena) : arena_(&arena) {}
  template <class U>
  ArenaAllocator(const ArenaAllocator<U>& other) : arena_(other.arena()) {}

  T* allocate(std::size_t n) { return static_cast<T*>(arena_->allocate(n * sizeof(T))); }
  void deallocate(T* block, std::size_t n) noexcept { arena_->deallocate(block, n * sizeof(T)); }
  BlockArena* arena() const { return arena_; }

  template <class U>
  bool operator==(const ArenaAllocator<U>& other) const {
    return arena_ == other.arena();
  }

 private:
  BlockArena* arena_;
};

}  // namespace rxc

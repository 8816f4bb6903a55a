#pragma once
// Pools for the small objects made by the thousand (vectors, particles, constraints, list links):
// equal blocks carved one after another from chunks, so that objects made together lie together
// and carry no allocator header. A freed block goes on its pool's free list and is handed out
// again; chunks are never given back. Pools are not thread safe: the objects they serve are made
// and freed on one thread.
//
// Under AddressSanitizer the pools are left out and every object gets its own heap block, so
// that a use after free is still caught.

#include <algorithm>
#include <cstddef>
#include <memory>
#include <new>
#include <utility>

#if defined(__SANITIZE_ADDRESS__)
#define SANDBOX_POOLS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SANDBOX_POOLS 0
#endif
#endif
#ifndef SANDBOX_POOLS
#define SANDBOX_POOLS 1
#endif

class BlockPool {
  public:
    // A free block holds the free list's next pointer, so every block is aligned for a pointer
    // as well as for its type.
    constexpr BlockPool(size_t size, size_t align)
        : size_((std::max(size, sizeof(void*)) + BlockAlign(align) - 1) / BlockAlign(align) *
                BlockAlign(align)),
          align_(BlockAlign(align)) {}

    void* Allocate() {
        if (free_ != nullptr) {
            void* p = free_;
            free_ = *static_cast<void**>(p);
            return p;
        }
        if (next_ + size_ > end_) Grow();
        void* p = next_;
        next_ += size_;
        return p;
    }
    void Release(void* p) {
        *static_cast<void**>(p) = free_;
        free_ = p;
    }

  private:
    static constexpr size_t BlockAlign(size_t align) { return std::max(align, alignof(void*)); }
    void Grow();

    size_t size_;
    size_t align_;
    void* free_ = nullptr;
    char* next_ = nullptr;
    char* end_ = nullptr;
};

// One pool per block type, made before any code runs and never destroyed, so that objects freed
// during the program's exit still find it.
template <class T>
constinit inline BlockPool poolOf{sizeof(T), alignof(T)};

// For std::allocate_shared: single objects (with their control block) from the pool of that
// block type, anything else from the heap. Objects of one class made with different tags get
// different pools (the tag is part of the block type), so that the objects a hot loop reads can
// be kept apart from those it does not.
template <class T, class Tag = void>
struct PoolAllocator {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = PoolAllocator<U, Tag>;
    };
    PoolAllocator() = default;
    template <class U>
    PoolAllocator(const PoolAllocator<U, Tag>&) {}  // NOLINT(google-explicit-constructor)
    T* allocate(size_t n) {
        if (n == 1) return static_cast<T*>(poolOf<T>.Allocate());
        return std::allocator<T>().allocate(n);
    }
    void deallocate(T* p, size_t n) {
        if (n == 1) {
            poolOf<T>.Release(p);
        } else {
            std::allocator<T>().deallocate(p, n);
        }
    }
    template <class U>
    bool operator==(const PoolAllocator<U, Tag>&) const {
        return true;
    }
};

// std::make_shared, from the pools (of the given tag).
template <class T, class Tag = void, class... Args>
std::shared_ptr<T> MakePooled(Args&&... args) {
#if SANDBOX_POOLS
    return std::allocate_shared<T>(PoolAllocator<T, Tag>(), std::forward<Args>(args)...);
#else
    return std::make_shared<T>(std::forward<Args>(args)...);
#endif
}

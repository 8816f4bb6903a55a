#pragma once
// TList: the ordered list behind every collection of objects. A ring of TLink nodes through a
// head link; an element may be listed more than once and equality is identity.
//
// Iteration rule (callers rely on it): removing the element just returned, or one already
// passed, is safe; elements appended during a walk are visited by that walk, provided the walk
// has not yet returned the last element (it then stands on the head and ends); if the element
// the walk stands on next is removed, the walk yields none once in its place and then goes on
// with the element that followed it. Links are counted with a plain (non-atomic) intrusive count
// so that a walk can hold its place cheaply.
//
// Passes that cannot add or remove elements (the physics step's walks over bodies, particles and
// edges) use fast<T>() instead: the same elements in the same order, on raw links, counting
// nothing. Changing the list during such a walk is not allowed.

#include <cstdint>
#include <type_traits>
#include <utility>

#include "runtime/object.h"
#include "runtime/pool.h"

class TLink;

// Intrusive reference to a link.
class LinkRef {
  public:
    LinkRef() = default;
    explicit LinkRef(TLink* p) : p_(p) { Retain(); }
    LinkRef(const LinkRef& o) : p_(o.p_) { Retain(); }
    LinkRef(LinkRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    LinkRef& operator=(const LinkRef& o);
    LinkRef& operator=(LinkRef&& o) noexcept;
    ~LinkRef() { reset(); }

    TLink* get() const { return p_; }
    TLink* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    inline void reset();

  private:
    inline void Retain();
    static void Free(TLink* p);
    TLink* p_ = nullptr;
};

class TLink {
  public:
    ObjectRef _value;  // none on the head link and on a removed link
    LinkRef _succ;
    LinkRef _pred;

#if SANDBOX_POOLS
    static void* operator new(size_t) { return poolOf<TLink>.Allocate(); }
    static void operator delete(void* p) { poolOf<TLink>.Release(p); }
#endif

  private:
    friend class LinkRef;
    int32_t refs_ = 0;
};

void LinkRef::Retain() {
    if (p_) ++p_->refs_;
}

void LinkRef::reset() {
    TLink* p = std::exchange(p_, nullptr);
    if (p && --p->refs_ == 0) Free(p);
}

class TList;

// Front-to-back walk with the iteration rule above. It stands on the link after the element it
// has just returned.
class TListEnum {
  public:
    TListEnum(LinkRef start, const TLink* head) : link_(std::move(start)), head_(head) {}
    bool HasNext() const { return link_.get() != head_; }
    ObjectRef NextObject() {
        ObjectRef v = link_->_value;
        link_ = link_->_succ;
        return v;
    }

  private:
    LinkRef link_;
    const TLink* head_;
};

// Typed walk from a link up to the ring's head: yields T* for every element of class T
// (subclasses included), skipping none and other classes. `Place` is how it holds its place:
// a LinkRef holds it like TListEnum (TListEach), a raw link holds nothing, for passes that leave
// the list as it is (TListFast). Either way the elements themselves must be kept alive by someone
// else while the loop body runs (the world, a body or the caller).
template <class T, class Place>
class TListWalk {
  public:
    class iterator {
      public:
        iterator() = default;
        iterator(Place next, const TLink* head) : next_(std::move(next)), head_(head) { advance(); }
        T* operator*() const { return value_; }
        iterator& operator++() {
            advance();
            return *this;
        }
        bool operator!=(const iterator&) const { return value_ != nullptr; }
        bool operator==(const iterator&) const { return value_ == nullptr; }

      private:
        static const TLink* Raw(const Place& p) {
            if constexpr (std::is_same_v<Place, LinkRef>) {
                return p.get();
            } else {
                return p;
            }
        }
        void advance() {
            value_ = nullptr;
            while (Raw(next_) != head_) {
                Object* o = next_->_value.get();
                if constexpr (std::is_same_v<Place, LinkRef>) {
                    next_ = next_->_succ;
                } else {
                    next_ = next_->_succ.get();
                }
                if (T* t = ObjectCast<T>(o)) {
                    value_ = t;
                    return;
                }
            }
        }
        Place next_{};
        const TLink* head_ = nullptr;
        T* value_ = nullptr;
    };

    TListWalk(Place first, const TLink* head) : first_(std::move(first)), head_(head) {}
    iterator begin() const { return iterator(first_, head_); }
    iterator end() const { return iterator(); }

  private:
    Place first_;
    const TLink* head_;
};

template <class T>
using TListEach = TListWalk<T, LinkRef>;
template <class T>
using TListFast = TListWalk<T, const TLink*>;

class TList : public Object {
  public:
    static const ClassInfo kClass;

    TList();
    ~TList() override;

    // Appends at the end; returns the new link.
    LinkRef AddLast(ObjectRef value);
    // Removes the first occurrence of obj (by identity); 1 if one was removed, else 0. The removed
    // link's value becomes none and it keeps its own successor and predecessor.
    int32_t Remove(const Object* obj);
    int32_t Remove(const ObjectRef& obj) { return Remove(obj.get()); }
    // Walks the whole list.
    int32_t Count() const;

    TListEnum ObjectEnumerator() const { return TListEnum(head_->_succ, head_.get()); }
    // The head link, the ring's start and end mark, for a walk that keeps its own place.
    const TLink* Head() const { return head_.get(); }
    template <class T>
    TListEach<T> each() const {
        return TListEach<T>(head_->_succ, head_.get());
    }
    // The same walk for passes that neither add nor remove: no counting, no place held.
    template <class T>
    TListFast<T> fast() const {
        return TListFast<T>(head_->_succ.get(), head_.get());
    }

    bool IsEmpty() const { return head_->_succ.get() == head_.get(); }
    // The first element, or none.
    ObjectRef First() const { return head_->_succ->_value; }
    // True when obj is listed at least once.
    bool Contains(const Object* obj) const;

  private:
    LinkRef head_;
};

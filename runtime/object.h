#pragma once
// The root of every shared object of the system, its reference type and the cheap class test
// that list walkers use. Objects are reference counted (std::shared_ptr); nullptr is "none".

#include <memory>

// One record per class; `parent` links a class to its base so that IsA can accept subclasses.
struct ClassInfo {
    const char* name;
    const ClassInfo* parent;
};

class Object {
  public:
    static const ClassInfo kClass;

    Object() : class_(&kClass) {}
    virtual ~Object() = default;
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;

    const ClassInfo& classInfo() const { return *class_; }

    // Exact class first (the common case in hot walks), then the base chain.
    bool IsA(const ClassInfo& c) const {
        if (class_ == &c) return true;
        for (const ClassInfo* p = class_->parent; p != nullptr; p = p->parent) {
            if (p == &c) return true;
        }
        return false;
    }

  protected:
    explicit Object(const ClassInfo& c) : class_(&c) {}

  private:
    const ClassInfo* class_;
};

template <class T>
using Ref = std::shared_ptr<T>;
using ObjectRef = Ref<Object>;

// The object as a T, or nullptr when it is none or of another class.
template <class T>
T* ObjectCast(Object* o) {
    return (o != nullptr && o->IsA(T::kClass)) ? static_cast<T*>(o) : nullptr;
}

template <class T>
Ref<T> ObjectCast(const ObjectRef& o) {
    return (o && o->IsA(T::kClass)) ? std::static_pointer_cast<T>(o) : nullptr;
}

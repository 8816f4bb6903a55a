#pragma once
// TImage: an opaque handle to a loaded picture. Attachments hold it and never look inside.

#include <cstdint>

#include "runtime/object.h"

class TImage : public Object {
  public:
    static const ClassInfo kClass;
    TImage() : Object(kClass) {}
    explicit TImage(intptr_t h) : Object(kClass), handle(h) {}

    intptr_t handle = 0;
};

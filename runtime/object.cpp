#include "runtime/object.h"

const ClassInfo Object::kClass{"Object", nullptr};

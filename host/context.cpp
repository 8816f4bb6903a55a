#include "host/context.h"

HostContext& Host() {
    // Never destroyed: windows close and drivers let go of their contexts from exit handlers,
    // which must still find the state they change.
    static HostContext* const context = new HostContext;
    return *context;
}

#include "host/hook.h"

#include <array>
#include <string>
#include <utility>

#include "host/context.h"
#include "runtime/error.h"

// Nodes are shared so that a callback may detach itself (or its successor) while its chain
// runs: the walk holds the node it stands on.
struct THookNode {
    Ref<THookNode> succ;
    int32_t priority = 0;
    HookFunction func = nullptr;
    ObjectRef context;
};

namespace {

using THook = THookNode;

HookRegistryState& Registry() { return Host().hooks; }

Ref<THook>& Head(int32_t id) {
    if (id < 0 || id >= kHookIdCount) RuntimeThrow("Hook id out of range: " + std::to_string(id));
    return Registry().heads[static_cast<size_t>(id)];
}

}  // namespace

int32_t NewHookId() {
    HookRegistryState& r = Registry();
    if (r.lastId + 1 >= kHookIdCount) RuntimeThrow("Too many hook ids");
    return ++r.lastId;
}

void AttachHook(int32_t id, HookFunction func, const ObjectRef& context, int32_t priority) {
    auto node = std::make_shared<THook>();
    node->priority = priority;
    node->func = func;
    node->context = context;
    Ref<THook>* link = &Head(id);
    while (*link && (*link)->priority >= priority) link = &(*link)->succ;
    node->succ = std::move(*link);
    *link = std::move(node);
}

void DetachHook(int32_t id, HookFunction func, const ObjectRef& context) {
    for (Ref<THook>* link = &Head(id); *link; link = &(*link)->succ) {
        THook& node = **link;
        if (node.func == func && node.context == context) {
            // The detached node keeps its successor so that a walk standing on it goes on.
            *link = node.succ;
            return;
        }
    }
}

ObjectRef RunHookChain(int32_t id, ObjectRef data) {
    Ref<THook> node = Head(id);
    while (node) {
        if (node->func != nullptr) data = node->func(id, data, node->context);
        node = node->succ;
    }
    return data;
}

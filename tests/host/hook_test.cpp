#include "host/hook.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "runtime/error.h"

namespace {

// A context that names a callback, and a data object that collects the names in call order.
class Label : public Object {
  public:
    static const ClassInfo kClass;
    explicit Label(std::string n) : Object(kClass), name(std::move(n)) {}
    std::string name;
    std::vector<std::string> trail;
};
const ClassInfo Label::kClass{"Label", &Object::kClass};

ObjectRef Record(int32_t, const ObjectRef& data, const ObjectRef& context) {
    static_cast<Label*>(data.get())->trail.push_back(static_cast<Label*>(context.get())->name);
    return data;
}

Ref<Label> Make(const std::string& name) { return std::make_shared<Label>(name); }

std::vector<std::string> RunChain(int32_t id) {
    auto data = Make("data");
    RunHookChain(id, data);
    return data->trail;
}

TEST(HookChain, OrdersByPriorityThenAttachOrder) {
    const int32_t id = NewHookId();
    AttachHook(id, Record, Make("a0"), 0);
    AttachHook(id, Record, Make("b5"), 5);
    AttachHook(id, Record, Make("c0"), 0);
    AttachHook(id, Record, Make("d-3"), -3);
    AttachHook(id, Record, Make("e5"), 5);
    EXPECT_EQ(RunChain(id), (std::vector<std::string>{"b5", "e5", "a0", "c0", "d-3"}));
}

ObjectRef Replace(int32_t, const ObjectRef& data, const ObjectRef& context) {
    auto next = Make(static_cast<Label*>(context.get())->name);
    next->trail = static_cast<Label*>(data.get())->trail;
    next->trail.push_back("from " + static_cast<Label*>(data.get())->name);
    return next;
}

TEST(HookChain, EachResultIsTheNextCallbacksDataAndTheLastIsReturned) {
    const int32_t id = NewHookId();
    AttachHook(id, Replace, Make("first"), 2);
    AttachHook(id, Replace, Make("second"), 1);
    ObjectRef result = RunHookChain(id, Make("start"));
    auto* label = static_cast<Label*>(result.get());
    EXPECT_EQ(label->name, "second");
    EXPECT_EQ(label->trail, (std::vector<std::string>{"from start", "from first"}));
}

TEST(HookChain, EmptyChainReturnsTheDataItself) {
    const int32_t id = NewHookId();
    auto data = Make("x");
    EXPECT_EQ(RunHookChain(id, data), data);
}

TEST(HookChain, DetachRemovesOnlyTheFirstMatchOfFuncAndContext) {
    const int32_t id = NewHookId();
    auto twice = Make("twice");
    auto other = Make("other");
    AttachHook(id, Record, twice, 0);
    AttachHook(id, Record, other, 0);
    AttachHook(id, Record, twice, 0);
    DetachHook(id, Record, twice);
    EXPECT_EQ(RunChain(id), (std::vector<std::string>{"other", "twice"}));
    DetachHook(id, Replace, other);         // same context, other func: no match
    DetachHook(id, Record, Make("other"));  // equal name, other object: no match
    EXPECT_EQ(RunChain(id), (std::vector<std::string>{"other", "twice"}));
}

int32_t g_selfDetachId = -1;

ObjectRef DetachSelf(int32_t id, const ObjectRef& data, const ObjectRef& context) {
    DetachHook(id, DetachSelf, context);
    return Record(id, data, context);
}

TEST(HookChain, CallbackMayDetachItselfWhileTheChainRuns) {
    g_selfDetachId = NewHookId();
    AttachHook(g_selfDetachId, Record, Make("before"), 3);
    AttachHook(g_selfDetachId, DetachSelf, Make("once"), 2);
    AttachHook(g_selfDetachId, Record, Make("after"), 1);
    EXPECT_EQ(RunChain(g_selfDetachId), (std::vector<std::string>{"before", "once", "after"}));
    EXPECT_EQ(RunChain(g_selfDetachId), (std::vector<std::string>{"before", "after"}));
}

TEST(HookChain, IdsOutsideTheTableRaiseTheRuntimeError) {
    EXPECT_THROW(AttachHook(256, Record, nullptr, 0), RuntimeError);
    EXPECT_THROW(RunHookChain(-1, nullptr), RuntimeError);
    EXPECT_THROW(DetachHook(1000, Record, nullptr), RuntimeError);
}

}  // namespace

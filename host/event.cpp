#include "host/event.h"

#include <array>
#include <map>

#include "host/context.h"
#include "host/hook.h"
#include "host/system.h"

const ClassInfo TEvent::kClass{"TEvent", &Object::kClass};

int32_t EventHook = -1;

namespace {

// The names of the ids the system raises.
const std::map<int32_t, std::string>& SystemIdNames() {
    static const std::map<int32_t, std::string> names = {
        {257, "AppSuspend"},
        {258, "AppResume"},
        {259, "AppTerminate"},
        {260, "AppOpenFile"},
        {261, "AppIdle"},
        {513, "KeyDown"},
        {514, "KeyUp"},
        {515, "KeyChar"},
        {516, "KeyRepeat"},
        {1025, "MouseDown"},
        {1026, "MouseUp"},
        {1027, "MouseMove"},
        {1028, "MouseWheel"},
        {1029, "MouseEnter"},
        {1030, "MouseLeave"},
        {2049, "TimerTick"},
        {4097, "HotkeyHit"},
        {8193, "GadgetAction"},
        {8194, "GadgetPaint"},
        {8195, "GadgetSelect"},
        {8196, "GadgetMenu"},
        {8197, "GadgetOpen"},
        {8198, "GadgetClose"},
        {8199, "GadgetDone"},
        {8200, "GadgetLostFocus"},
        {8201, "GadgetShape"},
        {16385, "WindowMove"},
        {16386, "WindowSize"},
        {16387, "WindowClose"},
        {16388, "WindowActivate"},
        {16389, "WindowAccept"},
        {32769, "MenuAction"},
        {65537, "StreamEof"},
        {65538, "StreamAvail"},
        {131073, "ProcessExit"},
    };
    return names;
}

std::map<int32_t, std::string>& IdNames() {
    std::map<int32_t, std::string>& names = Host().events.names;
    if (names.empty()) names = SystemIdNames();
    return names;
}

EventState& Queue() { return Host().events; }

ObjectRef QueueHook(int32_t, const ObjectRef& data, const ObjectRef&) {
    if (Ref<TEvent> ev = ObjectCast<TEvent>(data)) {
        EventState& q = Queue();
        if (q.put - q.get < kEventQueueSize) {
            // An event no shared reference owns (one on its emitter's stack) would be gone by
            // the time a reader polls it: the queue keeps a copy instead.
            if (ev->weak_from_this().expired()) {
                ev =
                    TEvent::Create(ev->id, ev->source, ev->data, ev->mods, ev->x, ev->y, ev->extra);
            }
            q.slots[q.put % kEventQueueSize] = std::move(ev);
            ++q.put;
        }
    }
    return data;
}

}  // namespace

ObjectRef TEvent::Emit() {
    // Events made by Create are shared; one living elsewhere is passed without ownership.
    ObjectRef self = weak_from_this().lock();
    if (!self) self = ObjectRef(ObjectRef(), this);
    if (EventHook < 0) return self;
    return RunHookChain(EventHook, self);
}

std::string TEvent::ToString() const {
    return DescriptionForId(id) + ": data=" + std::to_string(data) +
           ", mods=" + std::to_string(mods) + ", x=" + std::to_string(x) +
           ", y=" + std::to_string(y);
}

Ref<TEvent> TEvent::Create(int32_t id, const ObjectRef& source, int32_t data, int32_t mods,
                           int32_t x, int32_t y, const ObjectRef& extra) {
    auto ev = std::make_shared<TEvent>();
    ev->id = id;
    ev->source = source;
    ev->data = data;
    ev->mods = mods;
    ev->x = x;
    ev->y = y;
    ev->extra = extra;
    return ev;
}

int32_t TEvent::AllocUserId() { return ++Host().events.lastUserId; }

void TEvent::RegisterId(int32_t id, const std::string& name) { IdNames()[id] = name; }

std::string TEvent::DescriptionForId(int32_t id) {
    const auto& names = IdNames();
    auto it = names.find(id);
    if (it != names.end()) return it->second;
    return "Unknown Event, id=" + std::to_string(id);
}

void StartEvents() {
    if (EventHook >= 0) return;
    EventHook = NewHookId();
    AttachHook(EventHook, QueueHook, nullptr, kEventQueuePriority);
}

Ref<TEvent> PeekEvent() {
    PumpSystemEvents();
    EventState& q = Queue();
    if (q.get == q.put) return nullptr;
    return q.slots[q.get % kEventQueueSize];
}

Ref<TEvent> PollEvent() {
    PumpSystemEvents();
    EventState& q = Queue();
    if (q.get == q.put) return nullptr;
    Ref<TEvent> ev = std::move(q.slots[q.get % kEventQueueSize]);
    ++q.get;
    return ev;
}

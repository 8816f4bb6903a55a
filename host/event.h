#pragma once
// Events: the record every window message becomes, the id registry that names event ids, the
// event hook chain they are emitted through, and the general event queue that keeps the last
// 256 events for readers that want them (it sits at the very end of the chain).

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/object.h"

// Event ids raised by the host.
inline constexpr int32_t kEventAppSuspend = 257;
inline constexpr int32_t kEventAppResume = 258;
inline constexpr int32_t kEventAppTerminate = 259;
inline constexpr int32_t kEventKeyDown = 513;
inline constexpr int32_t kEventKeyUp = 514;
inline constexpr int32_t kEventKeyChar = 515;
inline constexpr int32_t kEventKeyRepeat = 516;
inline constexpr int32_t kEventMouseDown = 1025;
inline constexpr int32_t kEventMouseUp = 1026;
inline constexpr int32_t kEventMouseMove = 1027;
inline constexpr int32_t kEventMouseWheel = 1028;
inline constexpr int32_t kEventMouseEnter = 1029;
inline constexpr int32_t kEventMouseLeave = 1030;

// Modifier bits of TEvent::mods.
inline constexpr int32_t kModShift = 1;
inline constexpr int32_t kModControl = 2;
inline constexpr int32_t kModAlt = 4;
inline constexpr int32_t kModSystem = 8;

// The hook chain every event runs through; -1 until StartEvents.
extern int32_t EventHook;

class TEvent : public Object, public std::enable_shared_from_this<TEvent> {
  public:
    static const ClassInfo kClass;
    TEvent() : Object(kClass) {}

    int32_t id = 0;
    ObjectRef source;  // what raised it; none for graphics windows
    int32_t data = 0;  // key code, character, button or wheel notches
    int32_t mods = 0;
    int32_t x = 0, y = 0;
    ObjectRef extra;

    // Runs this event through EventHook and returns what the chain returned. An event made
    // elsewhere than by Create is passed without ownership; the general queue copies it.
    ObjectRef Emit();
    std::string ToString() const;

    static Ref<TEvent> Create(int32_t id, const ObjectRef& source, int32_t data, int32_t mods,
                              int32_t x, int32_t y, const ObjectRef& extra);
    // A fresh id for a program's own events, outside every id the system names.
    static int32_t AllocUserId();
    static void RegisterId(int32_t id, const std::string& name);
    // The registered name, or "Unknown Event, id=<id>".
    static std::string DescriptionForId(int32_t id);
};

// Allocates EventHook and attaches the general event queue; later calls do nothing.
void StartEvents();

// The general event queue: 256 events, new ones dropped while it is full. Both pump first.
// The oldest queued event, removed from the queue; none when it is empty.
Ref<TEvent> PollEvent();
// The oldest queued event, left in the queue; none when it is empty.
Ref<TEvent> PeekEvent();
inline constexpr int32_t kEventQueueSize = 256;
inline constexpr int32_t kEventQueuePriority = -10000;

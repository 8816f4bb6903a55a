#pragma once
// The host's state in one place: the hook chains, the event queue and names, the graphics front
// end, frame pacing, the polled-input tables, the clock and the system driver, plus whatever the
// linked back end keeps. (The hook ids PresentHook and EventHook and GraphicsSequence stay
// public variables: programs read them by those names.) Every host module
// reads and writes it through Host(); nothing of the host lives in file-level globals.
//
// The context is made on first use and lives to the very end of the process, so that code
// running at exit (windows closing, drivers releasing their contexts) still finds it.

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "host/clock.h"
#include "host/event.h"
#include "host/graphics.h"
#include "host/hook.h"
#include "host/input.h"
#include "host/system.h"
#include "runtime/object.h"

// Settings of the active graphics.
struct GraphicsSettings {
    int32_t width = 0, height = 0, depth = 0, hertz = 0, flags = 0;
};

// The graphics front end: the selected driver, the active and the opened graphics, and the
// 2-D graphics that drawing goes to.
struct GraphicsFrontEnd {
    Ref<TGraphicsDriver> driver;
    int32_t defaultFlags = 0;
    std::vector<Ref<TGraphicsMode>> modes;
    bool modesListed = false;
    Ref<TGraphics> active;
    GraphicsSettings settings;  // of the active graphics
    Ref<TGraphics> opened;
    bool closeAtExitRegistered = false;
    std::string title = "Quorrel Application";
    // The 2-D graphics last made current. It clears itself from here when closed or destroyed.
    TLumo2DGraphics* current2d = nullptr;
    TLumo2DDriver* currentDriver2d = nullptr;
    // The controls panel's renderer (host/backend.h) has started on the current context.
    bool panelRendererStarted = false;
};

// Frame pacing on the host clock. At 60 Hz the period is 16 ms and the remainder 40 ms per
// second; the accumulator hands out the extra millisecond on two frames of every three.
struct FramePacing {
    bool softSync = false;
    bool hardSync = false;
    int32_t hertz = 0;
    int32_t period = 0;
    int32_t remainder = 0;
    int32_t accumulator = 0;
    int32_t nextFrame = 0;
    // The platform schedules the frames itself (a browser's animation frames): presenting
    // never waits.
    bool platformPaces = false;
};

// The polled-input tables.
struct PolledInputState {
    std::array<int32_t, kKeyCount> keyStates{};
    std::array<int32_t, kKeyCount> keyHits{};
    std::array<int32_t, kTypedCharQueueSize> charQueue{};
    uint32_t charPut = 0;  // free-running; the slot is counter % queue size
    uint32_t charGet = 0;
    std::array<int32_t, kButtonCount> mouseStates{};
    std::array<int32_t, kButtonCount> mouseHits{};
    // x, y, wheel total; the references hold each value as of its last delta query.
    int32_t locationX = 0, locationY = 0, wheelTotal = 0;
    int32_t referenceX = 0, referenceY = 0, referenceWheel = 0;
    int32_t suspended = 0;
    int32_t terminate = 0;
    ObjectRef sourceFilter;
    bool installed = false;
};

// The event side: the general event queue (a ring of the last events nobody has read yet), the
// registered names of event ids, and the last user id handed out.
struct EventState {
    std::array<Ref<TEvent>, kEventQueueSize> slots;
    uint32_t put = 0;
    uint32_t get = 0;
    std::map<int32_t, std::string> names;  // filled with the system's names on first use
    int32_t lastUserId = 0x40000000;       // far above every id the system names
};

// The hook chains: the first node of each (nodes are hook.cpp's) and the last id handed out.
struct THookNode;
struct HookRegistryState {
    std::array<std::shared_ptr<THookNode>, kHookIdCount> heads;
    int32_t lastId = -1;
};

// What a back end keeps; each back end derives its own and finds it through BackEnd<T>().
class HostBackEndState {
  public:
    virtual ~HostBackEndState() = default;
};

struct HostContext {
    HookRegistryState hooks;
    EventState events;
    GraphicsFrontEnd graphics;
    FramePacing pacing;
    PolledInputState input;
    HostClock realClock;
    HostClock* clock = &realClock;
    Ref<TSystemDriver> systemDriver;
    bool pumping = false;                 // a system pump is running
    PumpListener pumpListener = nullptr;  // told of every pump before it polls
    void* pumpContext = nullptr;
    std::unique_ptr<HostBackEndState> backEnd;
};

HostContext& Host();

// The linked back end's state, made on first use.
template <class T>
T& BackEnd() {
    std::unique_ptr<HostBackEndState>& state = Host().backEnd;
    if (!state) state = std::make_unique<T>();
    return static_cast<T&>(*state);
}

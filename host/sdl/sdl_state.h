#pragma once
// What the SDL back end keeps between calls, held in the host context (BackEnd<SdlHostState>()).
// Plain integers stand for SDL's types so that this header needs no SDL.

#include <cstdint>
#include <memory>

#include "host/context.h"

class TGLGraphicsDriver;
class TGLLumo2DDriver;

struct SdlHostState : HostBackEndState {
    bool started = false;
    // The X server went away: nothing may be sent over its connection any more.
    bool displayLost = false;
    // What the injected pointer and modifier keys look like so far.
    struct Injected {
        int32_t x = 0, y = 0;
        uint32_t buttons = 0;  // SDL_BUTTON masks
        uint16_t mods = 0;     // SDL_Keymod
    } injected;
    // The system driver's tracking.
    int32_t mods = 0;
    uint32_t trackedWindow = 0;          // SDL window id the pointer is over; 0: none
    ObjectRef trackedSource;             // its event source (none for graphics windows)
    int32_t pointerX = 0, pointerY = 0;  // last position seen, client pixels
    bool pointerVisible = true;
    // The drivers StartHost made.
    std::weak_ptr<TGLGraphicsDriver> glDriver;
    std::weak_ptr<TGLLumo2DDriver> gl2dDriver;
};

inline SdlHostState& SdlState() { return BackEnd<SdlHostState>(); }

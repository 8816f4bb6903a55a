#pragma once
// What the web back end keeps between calls, held in the host context (BackEnd<WebHostState>()).

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "host/context.h"
#include "host/web/web_input.h"

class TGLLumo2DDriver;

struct WebHostState : HostBackEndState {
    bool started = false;
    bool browser = false;         // a page with a canvas, not node
    std::vector<WebInput> queue;  // records waiting for the next pump
    std::vector<WebInput> taken;  // the records being translated (the queue may grow meanwhile)
    int32_t buttons = 0;          // DOM buttons held, as bits 1 << button
    int32_t pointerX = 0, pointerY = 0;
    bool pointerInside = false;  // for "MouseEnter" / "MouseLeave"
    bool pageInput = false;      // the page's DOM input is being taken
    // A touch or pen on the canvas: where it landed, and the button it was taken as.
    enum class Contact : uint8_t { kNone, kUndecided, kPressed };
    Contact contact = Contact::kNone;
    int32_t contactX = 0, contactY = 0;  // canvas pixels
    double contactClientX = 0.0, contactClientY = 0.0;
    double contactAt = 0.0;  // ms, emscripten_get_now's clock
    int32_t contactButton = 0;
    // A contact's records held back, each group until a frame has taken the ones before it.
    std::deque<std::vector<WebInput>> heldBack;
    // What the injected pointer and modifier keys look like so far.
    int32_t injectedX = 0, injectedY = 0;
    int32_t injectedMods = 0;
    std::weak_ptr<TGLLumo2DDriver> gl2dDriver;
};

inline WebHostState& WebState() { return BackEnd<WebHostState>(); }

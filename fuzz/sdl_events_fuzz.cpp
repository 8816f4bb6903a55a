// Arbitrary SDL events through the host's real pump: the SDL2 + OpenGL back end runs under SDL's
// offscreen video driver with its window open; the fuzzer pushes genuine SDL events (keys with
// and without codes, text with invalid UTF-8 and surrogates, any button, huge coordinates, any
// wheel amount, focus, close, quit, and event types the host does not handle) and interleaves
// the polled-input queries, which pump them. Every answer is checked against a model of the
// documented rules: key and button states 0/1, a press counted once however long it is held,
// focus changes clearing the tables, the pointer at the last move, typed text as UTF-16.
#include <SDL.h>

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <string>

#include "fuzz/fuzz_check.h"
#include "host/graphics.h"
#include "host/input.h"
#include "host/sdl/gl_graphics.h"
#include "host/sdl/keymap.h"
#include "host/sdl/sdl_host.h"
#include "runtime/error.h"

namespace {

Ref<TGraphics> g_graphics;

// Decodes text that is valid UTF-8 into UTF-16; false for anything else.
bool DecodeUtf8(const std::string& s, std::u16string& out) {
    out.clear();
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t n = 0;
        char32_t c = 0, min = 0;
        if (b < 0x80) {
            n = 1, c = b;
        } else if ((b & 0xE0) == 0xC0) {
            n = 2, c = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            n = 3, c = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            n = 4, c = b & 0x07, min = 0x10000;
        } else {
            return false;
        }
        if (i + n > s.size()) return false;
        for (size_t k = 1; k < n; ++k) {
            const auto cb = static_cast<unsigned char>(s[i + k]);
            if ((cb & 0xC0) != 0x80) return false;
            c = (c << 6) | (cb & 0x3F);
        }
        if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        if (c >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(c);
        }
        i += n;
    }
    return true;
}

int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(v)); }

// What the queries should answer, from the events pushed so far.
struct Model {
    std::array<int32_t, kKeyCount> keys{}, keyHits{};
    std::array<int32_t, kButtonCount> buttons{}, buttonHits{};
    std::deque<int32_t> chars;
    bool charsKnown = true;  // false after text the host repairs: drained without a model
    int32_t x = 0, y = 0, refX = 0, refY = 0;
    int32_t wheel = 0, refWheel = 0;
    int32_t suspended = 0, terminate = 0;

    void ClearTables() {
        keys.fill(0), keyHits.fill(0), buttons.fill(0), buttonHits.fill(0);
        chars.clear();
        charsKnown = true;
        wheel = 0;
    }
    void Press(int32_t& state, int32_t& hits) {
        if (state == 0) ++hits;
        state = 1;
    }
    void Type(int32_t unit) {
        if (chars.size() < static_cast<size_t>(kTypedCharQueueSize)) chars.push_back(unit);
    }
};

class Fuzz {
  public:
    explicit Fuzz(ByteReader& in) : in_(in) {}

    void Run() {
        Sync();
        while (!in_.empty()) {
            const uint8_t op = in_.Byte();
            trace_ += std::to_string(op % 12) + " ";
            if (op % 12 < 8) {
                Push(op % 12);
            } else {
                Query();
            }
        }
        Query();
    }

  private:
    // The model starts from the host's present state (earlier inputs leave theirs behind).
    void Sync() {
        PumpSystemEvents();
        ResetKeyState();
        ResetMouseState();
        m_.ClearTables();
        m_.x = MouseCursorX();
        m_.y = MouseCursorY();
        MouseDeltaX();
        MouseDeltaY();
        MouseDeltaWheel();
        m_.refX = m_.x, m_.refY = m_.y, m_.refWheel = 0;
        m_.suspended = IsAppSuspended();
        TakeAppTerminate();
        m_.terminate = 0;
    }

    Uint32 WindowId() {
        const uint8_t b = in_.Byte();
        if (b < 200) return active_;
        return b < 230 ? in_.U32() : 0;
    }
    int32_t Coordinate() {
        const uint8_t b = in_.Byte();
        if (b < 128) return in_.Int(-50, 850);
        return static_cast<int32_t>(in_.U32());
    }

    bool Send(SDL_Event& e) {
        e.common.timestamp = SDL_GetTicks();
        const int r = SDL_PushEvent(&e);
        FUZZ_CHECK_OPS(r >= 0, std::string("SDL_PushEvent failed: ") + SDL_GetError());
        return r == 1;
    }

    void Push(int kind) {
        SDL_Event e{};
        switch (kind) {
            case 0: {  // a key, with or without a code
                const bool down = in_.Byte() & 1;
                e.type = down ? SDL_KEYDOWN : SDL_KEYUP;
                e.key.windowID = WindowId();
                const uint8_t how = in_.Byte();
                // Any value the enumeration can hold (its enumerators need 10 bits): codes
                // past SDL_NUM_SCANCODES included.
                const auto scancode = static_cast<SDL_Scancode>(
                    how & 1 ? in_.Int(0, SDL_NUM_SCANCODES + 8) : in_.Int(0, 1023));
                e.key.keysym.scancode = scancode;
                e.key.keysym.sym = how & 2 ? SDL_GetKeyFromScancode(scancode)
                                           : static_cast<SDL_Keycode>(in_.U32());
                e.key.keysym.mod = static_cast<Uint16>(in_.U32());
                e.key.repeat = in_.Byte() % 3 == 0;
                e.key.state = down ? SDL_PRESSED : SDL_RELEASED;
                if (!Send(e)) return;
                const int32_t vk = VirtualKeyFromSdl(e.key.keysym.sym, e.key.keysym.scancode);
                if (vk < 1 || vk > 255) return;
                const size_t k = static_cast<size_t>(vk);
                if (!down) {
                    m_.keys[k] = 0;
                    return;
                }
                if (!e.key.repeat) m_.Press(m_.keys[k], m_.keyHits[k]);
                if (vk == 8 || vk == 9 || vk == 13 || vk == 27) m_.Type(vk);
                return;
            }
            case 1: {  // typed text: any bytes, ended within the event's 32
                e.type = SDL_TEXTINPUT;
                e.text.windowID = WindowId();
                const std::string bytes = in_.Bytes(sizeof e.text.text - 1);
                std::memcpy(e.text.text, bytes.data(), bytes.size());
                if (!Send(e)) return;
                const std::string text(e.text.text);  // up to the first NUL, as the host reads it
                std::u16string units;
                if (!DecodeUtf8(text, units)) {
                    m_.charsKnown = false;
                    return;
                }
                for (char16_t u : units) m_.Type(u);
                return;
            }
            case 2:  // the pointer
                e.type = SDL_MOUSEMOTION;
                e.motion.windowID = WindowId();
                e.motion.x = Coordinate();
                e.motion.y = Coordinate();
                e.motion.state = in_.U32();
                if (!Send(e)) return;
                m_.x = e.motion.x;
                m_.y = e.motion.y;
                return;
            case 3: {  // any button 0..255
                const bool down = in_.Byte() & 1;
                e.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
                e.button.windowID = WindowId();
                e.button.button = in_.Byte();
                e.button.state = down ? SDL_PRESSED : SDL_RELEASED;
                e.button.clicks = in_.Byte();
                e.button.x = Coordinate();
                e.button.y = Coordinate();
                if (!Send(e)) return;
                // SDL numbers the middle button 2 and the right one 3; the host the other way.
                const int32_t b = e.button.button == SDL_BUTTON_LEFT     ? 1
                                  : e.button.button == SDL_BUTTON_RIGHT  ? 2
                                  : e.button.button == SDL_BUTTON_MIDDLE ? 3
                                                                         : 0;
                if (b == 0) return;
                if (down) {
                    m_.Press(m_.buttons[static_cast<size_t>(b)],
                             m_.buttonHits[static_cast<size_t>(b)]);
                } else {
                    m_.buttons[static_cast<size_t>(b)] = 0;
                }
                return;
            }
            case 4: {  // the wheel, any amount
                e.type = SDL_MOUSEWHEEL;
                e.wheel.windowID = WindowId();
                const uint8_t how = in_.Byte();
                e.wheel.y = how & 1 ? in_.Int(-3, 3) : static_cast<int32_t>(in_.U32());
                e.wheel.preciseY =
                    how & 2 ? static_cast<float>(e.wheel.y) : (how & 4 ? 0.0f : in_.AnyFloat());
                e.wheel.direction = how & 8 ? SDL_MOUSEWHEEL_FLIPPED : SDL_MOUSEWHEEL_NORMAL;
                e.wheel.mouseX = Coordinate();
                e.wheel.mouseY = Coordinate();
                if (!Send(e)) return;
                // Whole notches toward zero, precise where given; NaN or beyond int32: none.
                float n = e.wheel.preciseY;
                if (n == 0.0f) n = static_cast<float>(e.wheel.y);
                if (e.wheel.direction == SDL_MOUSEWHEEL_FLIPPED) n = -n;
                const int32_t notches =
                    std::fabs(n) < 2147483520.0f ? static_cast<int32_t>(std::trunc(n)) : 0;
                m_.wheel = Wrap(static_cast<int64_t>(m_.wheel) + notches);
                return;
            }
            case 5: {  // window events: focus, close, and others the host passes over
                static const Uint8 kEvents[] = {SDL_WINDOWEVENT_FOCUS_GAINED,
                                                SDL_WINDOWEVENT_FOCUS_LOST, SDL_WINDOWEVENT_CLOSE,
                                                SDL_WINDOWEVENT_LEAVE, SDL_WINDOWEVENT_ENTER};
                e.type = SDL_WINDOWEVENT;
                e.window.windowID = WindowId();
                const uint8_t pick = in_.Byte();
                e.window.event = pick < 200 ? kEvents[pick % 5] : in_.Byte();
                e.window.data1 = static_cast<Sint32>(in_.U32());
                e.window.data2 = static_cast<Sint32>(in_.U32());
                if (!Send(e)) return;
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        m_.ClearTables();
                        m_.suspended = e.window.event == SDL_WINDOWEVENT_FOCUS_LOST;
                        break;
                    case SDL_WINDOWEVENT_CLOSE:
                        m_.terminate = 1;
                        break;
                }
                return;
            }
            case 6:
                e.type = SDL_QUIT;
                if (Send(e)) m_.terminate = 1;
                return;
            case 7: {  // event types the host does not translate, with any payload (none of
                       // them carries a pointer SDL would follow)
                static const Uint32 kTypes[] = {SDL_TEXTEDITING,
                                                SDL_KEYMAPCHANGED,
                                                SDL_JOYAXISMOTION,
                                                SDL_JOYBUTTONDOWN,
                                                SDL_CONTROLLERBUTTONUP,
                                                SDL_FINGERDOWN,
                                                SDL_FINGERMOTION,
                                                SDL_MULTIGESTURE,
                                                SDL_DOLLARGESTURE,
                                                SDL_CLIPBOARDUPDATE,
                                                SDL_AUDIODEVICEADDED,
                                                SDL_SENSORUPDATE,
                                                SDL_RENDER_TARGETS_RESET,
                                                SDL_DISPLAYEVENT,
                                                SDL_APP_LOWMEMORY,
                                                SDL_APP_WILLENTERBACKGROUND,
                                                SDL_APP_DIDENTERFOREGROUND,
                                                SDL_LOCALECHANGED};
                const std::string payload = in_.Bytes(sizeof e - sizeof e.type);
                std::memcpy(reinterpret_cast<char*>(&e) + sizeof e.type, payload.data(),
                            payload.size());
                e.type = kTypes[in_.Byte() % (sizeof kTypes / sizeof kTypes[0])];
                Send(e);
                return;
            }
        }
    }

    void Query() {
        const uint8_t q = in_.Byte();
        const int32_t arg = in_.Byte();
        trace_ += "q" + std::to_string(q % 12) + ":" + std::to_string(arg) + " ";
        switch (q % 12) {
            case 0: {
                const int32_t got = IsKeyDown(arg);
                FUZZ_CHECK_OPS(got == m_.keys[static_cast<size_t>(arg)],
                               "IsKeyDown(" + std::to_string(arg) + ") is " + std::to_string(got));
                return;
            }
            case 1: {
                const int32_t got = TakeKeyHits(arg);
                FUZZ_CHECK_OPS(
                    got == m_.keyHits[static_cast<size_t>(arg)],
                    "TakeKeyHits(" + std::to_string(arg) + ") is " + std::to_string(got));
                m_.keyHits[static_cast<size_t>(arg)] = 0;
                return;
            }
            case 2: {
                const int32_t got = NextTypedChar();
                FUZZ_CHECK_OPS(got >= 0 && got <= 0xFFFF,
                               "NextTypedChar gave " + std::to_string(got));
                if (m_.charsKnown) {
                    const int32_t expected = m_.chars.empty() ? 0 : m_.chars.front();
                    FUZZ_CHECK_OPS(got == expected, "NextTypedChar gave " + std::to_string(got) +
                                                        ", model " + std::to_string(expected));
                }
                if (!m_.chars.empty()) m_.chars.pop_front();
                if (got == 0) m_.chars.clear(), m_.charsKnown = true;  // drained: in step again
                return;
            }
            case 3:
            case 4: {
                const int32_t b = arg % kButtonCount;
                const bool take = q % 12 == 4;
                const int32_t got = take ? TakeMouseHits(b) : IsMouseDown(b);
                auto& expected = take ? m_.buttonHits : m_.buttons;
                FUZZ_CHECK_OPS(got == expected[static_cast<size_t>(b)],
                               std::string(take ? "TakeMouseHits(" : "IsMouseDown(") +
                                   std::to_string(b) + ") is " + std::to_string(got));
                if (take) m_.buttonHits[static_cast<size_t>(b)] = 0;
                return;
            }
            case 5: {
                const int32_t x = MouseCursorX(), y = MouseCursorY();
                FUZZ_CHECK_OPS(x == m_.x && y == m_.y,
                               "cursor at " + std::to_string(x) + ", " + std::to_string(y) +
                                   ", model " + std::to_string(m_.x) + ", " + std::to_string(m_.y));
                return;
            }
            case 6: {
                const int32_t dx = MouseDeltaX(), dy = MouseDeltaY();
                FUZZ_CHECK_OPS(dx == Wrap(static_cast<int64_t>(m_.x) - m_.refX) &&
                                   dy == Wrap(static_cast<int64_t>(m_.y) - m_.refY),
                               "pointer delta " + std::to_string(dx) + ", " + std::to_string(dy));
                m_.refX = m_.x, m_.refY = m_.y;
                return;
            }
            case 7: {
                const int32_t total = MouseWheelTotal();
                const int32_t delta = MouseDeltaWheel();
                FUZZ_CHECK_OPS(delta == Wrap(static_cast<int64_t>(total) - m_.refWheel),
                               "wheel delta");
                FUZZ_CHECK_OPS(total == m_.wheel, "wheel total " + std::to_string(total) +
                                                      ", model " + std::to_string(m_.wheel));
                m_.refWheel = total;
                return;
            }
            case 8:
                FUZZ_CHECK_OPS(IsAppSuspended() == m_.suspended, "IsAppSuspended differs");
                return;
            case 9: {
                const int32_t got = TakeAppTerminate();
                FUZZ_CHECK_OPS(got == m_.terminate, "TakeAppTerminate is " + std::to_string(got));
                m_.terminate = 0;
                return;
            }
            case 10: {  // codes out of range are refused with the runtime error
                const int32_t bad = arg & 1 ? -1 - arg : kKeyCount + arg;
                bool refused = false;
                try {
                    if (arg & 2) {
                        IsKeyDown(bad);
                    } else {
                        IsMouseDown(arg & 1 ? bad : kButtonCount + arg);
                    }
                } catch (const RuntimeError&) {
                    refused = true;
                }
                FUZZ_CHECK_OPS(refused, "an out-of-range key or button was answered");
                return;
            }
            case 11:
                PumpSystemEvents();
                return;
        }
    }

    ByteReader& in_;
    Model m_;
    Uint32 active_ = SDL_GetWindowID(ActiveSdlWindow());
    std::string trace_;
};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    StartHost();
    g_graphics = OpenGraphicsWindow(800, 600, 0, 60, 0);
    if (!g_graphics || ActiveSdlWindow() == nullptr) {
        std::fprintf(stderr, "no OpenGL window under the offscreen video driver\n");
        std::exit(1);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    Fuzz(in).Run();
    return 0;
}

#pragma once
// The controls panel: a Dear ImGui window over the scene, opened and closed with F1, and the
// keys R (restart), P (pause and resume) and N (one frame while paused). It takes its input from
// the host's event chain, as the program's polled input does, so a replay that delivers the same
// events at the same queries shows the same panel; its clock is the host's (a replay's is
// virtual). What its widgets and keys change goes to Controls as requests, which a replay drops:
// there the script's commands alone change the world, and the panel only shows. While one of
// its text fields has the keyboard, key presses go to the field and no further.
//
// Nothing of ImGui is made until the panel first opens.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/object.h"

class Controls;
struct DemoState;
struct ImGuiContext;

inline constexpr int32_t kPanelKey = 112;     // F1
inline constexpr int32_t kRestartKey = 82;    // R
inline constexpr int32_t kPauseKey = 80;      // P
inline constexpr int32_t kStepKey = 78;       // N
inline constexpr int32_t kPanelPriority = 1;  // ahead of the polled input; it changes nothing

class Panel {
  public:
    explicit Panel(Controls& controls);
    ~Panel();
    Panel(const Panel&) = delete;
    Panel& operator=(const Panel&) = delete;

    // Hooks the panel onto the event chain; the host must have started.
    void Start();
    void Stop();

    // Builds and draws the panel over the frame drawn so far; the frame loop calls it while the
    // panel is open, after the cursor cross and before presenting.
    void Draw(DemoState& state);

    // True while a text field of the panel has the keyboard.
    bool WantsText() const { return wantsText_; }

    // How long the last Draw took on the statistics clock, in milliseconds.
    float LastDrawMs() const { return lastDrawMs_; }

  private:
    class Input;
    static ObjectRef OnEvent(int32_t id, const ObjectRef& data, const ObjectRef& context);
    // False when the event is the panel's alone and goes no further along the chain.
    bool Take(int32_t id, int32_t data, int32_t mods, int32_t x, int32_t y);
    bool EnsureContext();
    void Feed();
    void Build(DemoState& state);
    void LoadFile();

    Controls& controls_;
    Ref<Object> hookContext_;
    bool hooked_ = false;
    ImGuiContext* context_ = nullptr;
    bool rendererFailed_ = false;
    // What the event chain has told so far, handed to ImGui at the next frame.
    int32_t mouseX_ = -1, mouseY_ = -1;
    std::array<bool, 3> buttons_{};
    std::array<bool, 3> pressed_{};  // went down since the last frame: a click is never missed
    int32_t wheel_ = 0;
    std::array<bool, 256> keys_{};
    int32_t mods_ = 0;
    std::vector<uint16_t> typed_;
    bool wantsText_ = false;  // a text field has the keyboard: letters are not shortcuts
    int32_t lastMs_ = 0;
    bool haveLastMs_ = false;
    float lastDrawMs_ = 0.0f;
    std::vector<std::string> builtins_;
    std::array<char, 512> path_{};
    std::string pathError_;
};

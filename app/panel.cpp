#include "app/panel.h"

#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "app/builtin_scenes.h"
#include "app/controls.h"
#include "app/look.h"
#include "app/program.h"
#include "host/backend.h"
#include "host/graphics.h"
#include "host/input.h"
#include "physics/world.h"

// The event chain's context object: it only leads back to the panel.
class Panel::Input : public Object {
  public:
    static const ClassInfo kClass;
    explicit Input(Panel* panel) : Object(kClass), panel(panel) {}
    Panel* panel;
};
const ClassInfo Panel::Input::kClass{"PanelInput", &Object::kClass};

namespace {

// ImGui's navigation and text-editing keys, by the host's key codes (ImGui 1.86 reads them from
// io.KeysDown through io.KeyMap).
struct KeyLink {
    ImGuiKey key;
    int32_t code;
};
constexpr KeyLink kKeyLinks[] = {
    {ImGuiKey_Tab, 9},          {ImGuiKey_LeftArrow, 37}, {ImGuiKey_RightArrow, 39},
    {ImGuiKey_UpArrow, 38},     {ImGuiKey_DownArrow, 40}, {ImGuiKey_PageUp, 33},
    {ImGuiKey_PageDown, 34},    {ImGuiKey_Home, 36},      {ImGuiKey_End, 35},
    {ImGuiKey_Insert, 45},      {ImGuiKey_Delete, 46},    {ImGuiKey_Backspace, 8},
    {ImGuiKey_Space, 32},       {ImGuiKey_Enter, 13},     {ImGuiKey_Escape, 27},
    {ImGuiKey_KeyPadEnter, 13}, {ImGuiKey_A, 65},         {ImGuiKey_C, 67},
    {ImGuiKey_V, 86},           {ImGuiKey_X, 88},         {ImGuiKey_Y, 89},
    {ImGuiKey_Z, 90},
};

// Typed characters waiting for the next frame of the panel.
constexpr size_t kTypedLimit = 512;

ControlCommand Command(CommandKind kind, int32_t value = 0) {
    ControlCommand c;
    c.kind = kind;
    c.value = value;
    return c;
}

// The mean of the last `n` values of a ring that has `count` values and writes next at `next`.
float RecentMean(const std::array<float, kStatsHistory>& ring, int32_t next, int32_t count,
                 int32_t n) {
    n = std::min(n, count);
    if (n <= 0) return 0.0f;
    float sum = 0.0f;
    for (int32_t i = 1; i <= n; ++i) {
        sum += ring[static_cast<size_t>((next - i + kStatsHistory) % kStatsHistory)];
    }
    return sum / static_cast<float>(n);
}

}  // namespace

Panel::Panel(Controls& controls) : controls_(controls) {
    hookContext_ = std::make_shared<Input>(this);
    for (const BuiltinScene& s : BuiltinScenes()) builtins_.emplace_back(s.name);
    controls_.SetPanel(this);
}

Panel::~Panel() {
    Stop();
    controls_.SetPanel(nullptr);
    if (context_ != nullptr) {
        ImGui::SetCurrentContext(context_);
        StopPanelRenderer();
        ImGui::DestroyContext(context_);
    }
}

void Panel::Start() {
    if (hooked_) return;
    AttachHook(EventHook, &Panel::OnEvent, hookContext_, kPanelPriority);
    hooked_ = true;
}

void Panel::Stop() {
    if (!hooked_) return;
    DetachHook(EventHook, &Panel::OnEvent, hookContext_);
    hooked_ = false;
}

ObjectRef Panel::OnEvent(int32_t, const ObjectRef& data, const ObjectRef& context) {
    if (const TEvent* ev = ObjectCast<TEvent>(data.get())) {
        Panel* panel = static_cast<Input*>(context.get())->panel;
        if (!panel->Take(ev->id, ev->data, ev->mods, ev->x, ev->y)) return nullptr;
    }
    return data;
}

bool Panel::Take(int32_t id, int32_t data, int32_t mods, int32_t x, int32_t y) {
    const bool button = data >= 1 && data <= 3;
    const bool key = data >= 0 && data < 256;
    switch (id) {
        case kEventMouseMove:
            mouseX_ = x;
            mouseY_ = y;
            controls_.SetPointer(x, y);
            break;
        case kEventMouseDown:
            if (button) buttons_[static_cast<size_t>(data - 1)] = true;
            if (button) pressed_[static_cast<size_t>(data - 1)] = true;
            break;
        case kEventMouseUp:
            if (button) buttons_[static_cast<size_t>(data - 1)] = false;
            break;
        case kEventMouseWheel:
            wheel_ = WrapAdd(wheel_, data);
            break;
        case kEventKeyDown: {
            if (!key) break;
            keys_[static_cast<size_t>(data)] = true;
            mods_ = mods;
            const ControlSettings& next = controls_.Requested();
            if (data == kPanelKey) {
                controls_.Request(Command(CommandKind::kPanel, next.panelOpen ? 0 : 1));
            } else if (wantsText_ && next.panelOpen) {
                // A key pressed while a text field has the keyboard is the field's alone: Escape
                // cancels the edit instead of quitting, Space and F5 time and save nothing. (Its
                // release goes on, so that no key stays down that was pressed before.)
                return false;
            } else if (data == kRestartKey) {
                controls_.Request(Command(CommandKind::kRestart));
            } else if (data == kPauseKey) {
                controls_.Request(Command(CommandKind::kPause, next.paused ? 0 : 1));
            } else if (data == kStepKey && next.paused) {
                controls_.Request(Command(CommandKind::kStep));
            }
            break;
        }
        case kEventKeyUp:
            if (key) keys_[static_cast<size_t>(data)] = false;
            mods_ = mods;
            break;
        case kEventKeyChar:
            // Only an open panel takes text, so nothing typed while it is closed reaches its
            // field later; and a panel that cannot draw keeps no more than a line's worth.
            if (data >= 32 && data < 0x10000 && controls_.Requested().panelOpen &&
                typed_.size() < kTypedLimit) {
                typed_.push_back(static_cast<uint16_t>(data));
            }
            break;
        case kEventAppSuspend:
        case kEventAppResume:
            buttons_.fill(false);
            keys_.fill(false);
            mods_ = 0;
            break;
        default:
            break;
    }
    return true;
}

bool Panel::EnsureContext() {
    if (context_ != nullptr) return !rendererFailed_;
    context_ = ImGui::CreateContext();
    ImGui::SetCurrentContext(context_);
    ImGuiIO& io = ImGui::GetIO();
    io.IniFilename = nullptr;  // no settings file: every run starts the same
    io.LogFilename = nullptr;
    // Moved by its title bar only: a drag begun on the panel's body and ended over the scene
    // leaves the panel where it was.
    io.ConfigWindowsMoveFromTitleBarOnly = true;
    for (const KeyLink& k : kKeyLinks) io.KeyMap[k.key] = k.code;
    ImGui::StyleColorsDark();
    ImGui::GetStyle().Alpha = 0.92f;
    rendererFailed_ = !StartPanelRenderer();
    return !rendererFailed_;
}

void Panel::Feed() {
    ImGuiIO& io = ImGui::GetIO();
    io.DisplaySize =
        ImVec2(static_cast<float>(GraphicsWidth()), static_cast<float>(GraphicsHeight()));
    // The host's clock: real time live, virtual time in a replay.
    const int32_t now = ElapsedMs();
    const int32_t dt = haveLastMs_ ? WrapSub(now, lastMs_) : 0;
    io.DeltaTime = dt > 0 ? static_cast<float>(dt) / 1000.0f : 1.0f / 60.0f;
    lastMs_ = now;
    haveLastMs_ = true;
    io.MousePos = ImVec2(static_cast<float>(mouseX_), static_cast<float>(mouseY_));
    for (size_t b = 0; b < 3; ++b) {
        // Host buttons are 1 left, 2 right, 3 middle, as ImGui's 0, 1, 2.
        io.MouseDown[b] = buttons_[b] || pressed_[b];
        pressed_[b] = false;
    }
    io.MouseWheel = static_cast<float>(wheel_);
    wheel_ = 0;
    for (size_t k = 0; k < keys_.size(); ++k) io.KeysDown[k] = keys_[k];
    io.KeyShift = (mods_ & kModShift) != 0;
    io.KeyCtrl = (mods_ & kModControl) != 0;
    io.KeyAlt = (mods_ & kModAlt) != 0;
    io.KeySuper = (mods_ & kModSystem) != 0;
    for (uint16_t c : typed_) io.AddInputCharacterUTF16(c);
    typed_.clear();
}

void Panel::Draw(DemoState& state) {
    const int64_t start = controls_.StatsNow();
    if (!EnsureContext()) return;
    ImGui::SetCurrentContext(context_);
    Feed();
    PanelRendererNewFrame();
    ImGui::NewFrame();
    Build(state);
    ImGui::Render();
    RenderPanel(ImGui::GetDrawData());
    const ImGuiIO& io = ImGui::GetIO();
    // A text field has the keyboard as this frame leaves it: io.WantTextInput would say so only
    // a frame later, and hold back the first key pressed after an edit ends.
    const ImGuiID active = ImGui::GetActiveID();
    wantsText_ = active != 0 && ImGui::GetInputTextState(active) != nullptr;
    // While the pointer is over the panel (or drags something of it), the mouse throws nothing.
    // A panel about to close holds nothing.
    const ControlSettings& next = controls_.Requested();
    if (next.panelOpen && io.WantCaptureMouse != next.captured) {
        controls_.Request(Command(CommandKind::kCapture, io.WantCaptureMouse ? 1 : 0));
    }
    lastDrawMs_ = static_cast<float>(static_cast<double>(controls_.StatsNow() - start) / 1e6);
}

void Panel::LoadFile() {
    // A recording names the file as a script line, which a '#' would cut short; and the replay
    // may run in another folder, so the name is made absolute.
    std::string path = path_.data();
    if (path.find('#') != std::string::npos) {
        pathError_ = "A file name with '#' cannot be loaded from the panel";
        return;
    }
    pathError_.clear();
    std::error_code ec;
    if (std::filesystem::exists(path, ec)) {
        path = std::filesystem::absolute(path, ec).lexically_normal().string();
    }
    ControlCommand c = Command(CommandKind::kScene);
    c.text = path;
    controls_.Request(c);
}

void Panel::Build(DemoState& state) {
    const ControlSettings& s = controls_.Requested();
    ImGui::SetNextWindowPos(ImVec2(8, 8), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(340, 584), ImGuiCond_FirstUseEver);
    bool open = true;
    if (!ImGui::Begin("Controls (F1)", &open)) {
        ImGui::End();
        if (!open) controls_.Request(Command(CommandKind::kPanel, 0));
        return;
    }
    if (!open) controls_.Request(Command(CommandKind::kPanel, 0));
    ImGui::PushItemWidth(180.0f);

    if (ImGui::CollapsingHeader("Scene", ImGuiTreeNodeFlags_DefaultOpen)) {
        ImGui::Text("Now: %s", controls_.SceneName().c_str());
        for (size_t i = 0; i < builtins_.size(); ++i) {
            if (i % 4 != 0) ImGui::SameLine();
            if (ImGui::Button(builtins_[i].c_str())) {
                ControlCommand c = Command(CommandKind::kScene);
                c.text = builtins_[i];
                controls_.Request(c);
            }
        }
        ImGui::InputText("##file", path_.data(), path_.size());
        ImGui::SameLine();
        if (ImGui::Button("Load file") && path_[0] != '\0') LoadFile();
        const std::string& error = !pathError_.empty() ? pathError_ : controls_.SceneError();
        if (!error.empty()) ImGui::TextWrapped("%s", error.c_str());
        if (ImGui::Button("Restart (R)")) controls_.Request(Command(CommandKind::kRestart));
    }

    if (ImGui::CollapsingHeader("Run", ImGuiTreeNodeFlags_DefaultOpen)) {
        bool paused = s.paused;
        if (ImGui::Checkbox("Paused (P)", &paused)) {
            controls_.Request(Command(CommandKind::kPause, paused ? 1 : 0));
        }
        ImGui::SameLine();
        if (ImGui::Button("Step (N)") && s.paused) {
            controls_.Request(Command(CommandKind::kStep));
        }
        int steps = s.stepsPerFrame;
        if (ImGui::SliderInt("steps/frame", &steps, 1, kMaxStepsPerFrame)) {
            controls_.Request(Command(CommandKind::kSteps, steps));
        }
    }

    if (ImGui::CollapsingHeader("World", ImGuiTreeNodeFlags_DefaultOpen)) {
        const PhysicsWorld& world = *state.world;
        float gravity[2] = {world.gravity->x, world.gravity->y};
        if (ImGui::SliderFloat2("gravity", gravity, -0.5f, 0.5f, "%.3f")) {
            ControlCommand c = Command(CommandKind::kGravity);
            c.x = gravity[0];
            c.y = gravity[1];
            controls_.Request(c);
        }
        int iterations = world.CONSTRAINT_ITERATIONS;
        if (ImGui::SliderInt("iterations", &iterations, 0, 50)) {
            controls_.Request(Command(CommandKind::kIterations, iterations));
        }
        // The step that keeps stacks standing (the iterations then set its rounds).
        bool stable = world.stepMode == StepMode::kStable;
        if (ImGui::Checkbox("stable stacks", &stable)) {
            controls_.Request(Command(CommandKind::kMode, stable ? 1 : 0));
        }
        // Holds taller stacks still in the stable step; slows what rests or slides on something.
        // On the checkbox's line, so that the rows below keep their places.
        ImGui::SameLine();
        ImGui::SetNextItemWidth(ImGui::GetFontSize() * 4.0f);
        float damping = world.contactDamping;
        if (ImGui::SliderFloat("contact damping", &damping, 0.0f, 0.2f, "%.2f")) {
            ControlCommand c = Command(CommandKind::kDamping);
            c.x = damping;
            controls_.Request(c);
        }
        float bounce = s.throwing.bounce;
        if (ImGui::SliderFloat("throw bounce", &bounce, 0.0f, 2.0f, "%.2f")) {
            ControlCommand c = Command(CommandKind::kBounce);
            c.x = bounce;
            controls_.Request(c);
        }
        float friction = s.throwing.friction;
        if (ImGui::SliderFloat("throw friction", &friction, 0.0f, 2.0f, "%.2f")) {
            ControlCommand c = Command(CommandKind::kFriction);
            c.x = friction;
            controls_.Request(c);
        }
        int divisor = s.throwing.divisor;
        if (ImGui::SliderInt("throw divisor", &divisor, 1, 64)) {
            controls_.Request(Command(CommandKind::kDivisor, divisor));
        }
    }

    if (ImGui::CollapsingHeader("Draw", ImGuiTreeNodeFlags_DefaultOpen)) {
        ImGui::TextUnformatted("look (L):");
        for (const Look look : {Look::kClassic, Look::kClear}) {
            ImGui::SameLine();
            if (ImGui::RadioButton(LookName(look), s.look == look) && s.look != look) {
                controls_.Request(Command(CommandKind::kLook, static_cast<int32_t>(look)));
            }
        }
        static constexpr const char* kLabels[kDrawLayerCount] = {"particles", "bounding boxes",
                                                                 "tested pairs", "ID under cursor"};
        for (int32_t i = 0; i < kDrawLayerCount; ++i) {
            bool on = s.draw[static_cast<size_t>(i)];
            if (i % 2 != 0) ImGui::SameLine(170);
            if (ImGui::Checkbox(kLabels[i], &on)) {
                ControlCommand c = Command(CommandKind::kDraw, on ? 1 : 0);
                c.layer = static_cast<DrawLayer>(i);
                controls_.Request(c);
            }
        }
    }

    if (ImGui::CollapsingHeader("Tools", ImGuiTreeNodeFlags_DefaultOpen)) {
        // The left button's tool; the right button always grabs, the middle one always cuts.
        for (int32_t i = 0; i < kToolCount; ++i) {
            const auto tool = static_cast<Tool>(i);
            char label[32];
            std::snprintf(label, sizeof(label), "%s (%c)", ToolName(tool),
                          static_cast<char>(ToolKey(tool)));
            if (i % 3 != 0) ImGui::SameLine(static_cast<float>(i % 3) * 105.0f + 8.0f);
            if (ImGui::RadioButton(label, s.tool == tool) && s.tool != tool) {
                controls_.Request(Command(CommandKind::kTool, i));
            }
        }
        float stiffness = s.stickElasticity;
        if (ImGui::SliderFloat("stick stiffness", &stiffness, kMinStickElasticity, 1.0f, "%.2f")) {
            ControlCommand c = Command(CommandKind::kStiffness);
            c.x = stiffness;
            controls_.Request(c);
        }
        ImGui::TextDisabled("right drag grabs, middle drag cuts");
    }

    if (ImGui::CollapsingHeader("Statistics", ImGuiTreeNodeFlags_DefaultOpen)) {
        const FrameStats& st = controls_.Stats();
        const int32_t recent = 30;  // half a second
        ImGui::Text("%.1f frames/s, frame %.2f ms, panel %.2f ms", st.framesPerSecond,
                    RecentMean(st.frameMs, st.next, st.count, recent), lastDrawMs_);
        ImGui::PlotLines("frame ms", st.frameMs.data(), kStatsHistory, st.next, nullptr, 0.0f,
                         FLT_MAX, ImVec2(0, 32));
        const float update = RecentMean(st.updateMs, st.next, st.count, recent);
        const float bodies = RecentMean(st.bodiesMs, st.next, st.count, recent);
        const float collide = RecentMean(st.collideMs, st.next, st.count, recent);
        ImGui::Text("per step: relax+integrate %.3f ms", update);
        ImGui::Text("          body pass %.3f ms, collision %.3f ms", bodies, collide);
        ImGui::PlotLines("collision", st.collideMs.data(), kStatsHistory, st.next, nullptr, 0.0f,
                         FLT_MAX, ImVec2(0, 32));
        ImGui::PlotLines("relax+int", st.updateMs.data(), kStatsHistory, st.next, nullptr, 0.0f,
                         FLT_MAX, ImVec2(0, 32));
        ImGui::Text("%d bodies, %d particles, %d constraints", st.bodies, st.particles,
                    st.constraints);
        ImGui::Text("%d pairs tested in the last step", st.pairsTested);
    }
    ImGui::PopItemWidth();
    ImGui::End();
}

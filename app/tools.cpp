#include "app/tools.h"

#include <cmath>

#include "app/canvas_text.h"
#include "app/controls.h"
#include "app/look.h"
#include "host/graphics.h"
#include "host/input.h"

// The event chain's context object: it only leads back to the gestures.
class Gestures::Input : public Object {
  public:
    static const ClassInfo kClass;
    explicit Input(Gestures* gestures) : Object(kClass), gestures(gestures) {}
    Gestures* gestures;
};
const ClassInfo Gestures::Input::kClass{"GestureInput", &Object::kClass};

namespace {

constexpr const char* kToolNames[kToolCount] = {"throw", "grab", "cut",   "pin",  "box",
                                                "ball",  "rope", "stick", "erase"};
// The key of each tool, by tool: two tools share 5 and two share 6.
constexpr int32_t kToolKeys[kToolCount] = {'1', '2', '3', '4', '5', '5', '6', '6', '7'};
constexpr int32_t kGesturesPriority = 1;  // ahead of the polled input; it changes nothing

float F(int32_t v) { return static_cast<float>(v); }

ControlCommand ToolCommand(CommandKind kind, int32_t x0 = 0, int32_t y0 = 0, int32_t x1 = 0,
                           int32_t y1 = 0) {
    ControlCommand c;
    c.kind = kind;
    c.p = {x0, y0, x1, y1};
    return c;
}

void DrawCircle(float x, float y, float r) {
    constexpr int32_t kSides = 32;
    float px = x + r, py = y;
    for (int32_t i = 1; i <= kSides; ++i) {
        const float a = 6.2831853f * static_cast<float>(i) / static_cast<float>(kSides);
        const float qx = x + r * std::cos(a), qy = y + r * std::sin(a);
        DrawLineSegment(px, py, qx, qy, 0);
        px = qx;
        py = qy;
    }
}

void DrawRectangle(float x0, float y0, float x1, float y1) {
    DrawLineSegment(x0, y0, x1, y0, 0);
    DrawLineSegment(x1, y0, x1, y1, 0);
    DrawLineSegment(x1, y1, x0, y1, 0);
    DrawLineSegment(x0, y1, x0, y0, 1);
}

}  // namespace

const char* ToolName(Tool tool) {
    const auto i = static_cast<size_t>(tool);
    return i < static_cast<size_t>(kToolCount) ? kToolNames[i] : "?";
}

bool ToolFromName(std::string_view name, Tool& tool) {
    for (int32_t i = 0; i < kToolCount; ++i) {
        if (name == kToolNames[i]) {
            tool = static_cast<Tool>(i);
            return true;
        }
    }
    return false;
}

int32_t ToolKey(Tool tool) { return kToolKeys[static_cast<size_t>(tool)]; }

bool ToolForKey(int32_t key, Tool current, Tool& chosen) {
    int32_t first = -1;
    for (int32_t i = 0; i < kToolCount; ++i) {
        if (kToolKeys[i] != key) continue;
        if (first < 0) first = i;
        // The key of the tool in use chooses the next tool of that key, round to the first.
        if (static_cast<Tool>(i) == current) {
            const int32_t next = i + 1 < kToolCount && kToolKeys[i + 1] == key ? i + 1 : first;
            chosen = static_cast<Tool>(next);
            return true;
        }
    }
    if (first < 0) return false;
    chosen = static_cast<Tool>(first);
    return true;
}

void ToolActions::Apply(const ControlCommand& c, PhysicsWorld& world, float stickElasticity) {
    const auto& p = c.p;
    const float x0 = F(p[0]), y0 = F(p[1]), x1 = F(p[2]), y1 = F(p[3]);
    switch (c.kind) {
        case CommandKind::kGrab:
            grab_.Begin(world, ParticleToHold(world, x0, y0, kPickRadius), x0, y0);
            break;
        case CommandKind::kDrag:
            grab_.MoveTo(x0, y0);
            break;
        case CommandKind::kRelease:
            grab_.Release();
            break;
        case CommandKind::kCut:
            CutConstraints(world, x0, y0, x1, y1);
            break;
        case CommandKind::kPin:
            if (Ref<Verlet> v = NearestParticle(world, x0, y0, kPickRadius)) {
                SetPinned(*v, !IsPinned(*v));
            }
            break;
        case CommandKind::kErase:
            if (Ref<PhysicsBody> b = BodyAt(world, x0, y0, kPickRadius / 3.0f)) {
                RemoveBody(world, *b);
            }
            break;
        case CommandKind::kBox:
            MakeBox(world, x0, y0, x1, y1);
            break;
        case CommandKind::kBall:
            MakeBall(world, x0, y0, F(p[2]));
            break;
        case CommandKind::kRope: {
            const Ref<Verlet> from = NearestParticle(world, x0, y0, kPickRadius);
            Ref<Verlet> to = NearestParticle(world, x1, y1, kPickRadius);
            if (to == from) to = nullptr;  // a rope from a particle back to it hangs free
            MakeRope(world, from ? from->pos->x : x0, from ? from->pos->y : y0,
                     to ? to->pos->x : x1, to ? to->pos->y : y1, from, to);
            break;
        }
        case CommandKind::kStick:
            MakeStick(world, NearestParticle(world, x0, y0, kPickRadius),
                      NearestParticle(world, x1, y1, kPickRadius), stickElasticity);
            break;
        default:
            break;
    }
}

Gestures::Gestures(Controls& controls) : controls_(controls) {
    hookContext_ = std::make_shared<Input>(this);
    controls_.SetGestures(this);
}

Gestures::~Gestures() {
    Stop();
    controls_.SetGestures(nullptr);
}

void Gestures::Start() {
    if (hooked_) return;
    AttachHook(EventHook, &Gestures::OnEvent, hookContext_, kGesturesPriority);
    hooked_ = true;
}

void Gestures::Stop() {
    if (!hooked_) return;
    DetachHook(EventHook, &Gestures::OnEvent, hookContext_);
    hooked_ = false;
}

ObjectRef Gestures::OnEvent(int32_t, const ObjectRef& data, const ObjectRef& context) {
    if (const TEvent* ev = ObjectCast<TEvent>(data.get())) {
        static_cast<Input*>(context.get())->gestures->Take(ev->id, ev->data, ev->x, ev->y);
    }
    return data;
}

void Gestures::Take(int32_t id, int32_t data, int32_t x, int32_t y) {
    switch (id) {
        case kEventMouseMove:
            pointerX_ = x;
            pointerY_ = y;
            havePointer_ = true;
            if (button_ != 0) Drag();
            break;
        case kEventMouseDown:
            pointerX_ = x;
            pointerY_ = y;
            havePointer_ = true;
            Press(data);
            break;
        case kEventMouseUp:
            Lift(data);
            break;
        case kEventKeyDown: {
            Tool chosen = Tool::kThrow;
            if (controls_.TextInput()) break;  // typed into the panel
            if (data == kHelpKey) {
                ControlCommand c;
                c.kind = CommandKind::kHelp;
                c.value = controls_.Requested().help ? 0 : 1;
                controls_.Request(c);
                break;
            }
            if (data == kLookKey) {
                ControlCommand c;
                c.kind = CommandKind::kLook;
                c.value = static_cast<int32_t>(NextLook(controls_.Requested().look));
                controls_.Request(c);
                break;
            }
            if (!ToolForKey(data, controls_.Requested().tool, chosen)) break;
            ControlCommand c;
            c.kind = CommandKind::kTool;
            c.value = static_cast<int32_t>(chosen);
            controls_.Request(c);
            break;
        }
        case kEventAppSuspend:
            Cancel();
            break;
        default:
            break;
    }
}

void Gestures::Press(int32_t button) {
    const ControlSettings& s = controls_.Requested();
    if (s.captured) return;  // none on the panel
    Tool tool = Tool::kThrow;
    if (button == kGrabButton) {
        tool = Tool::kGrab;
    } else if (button == kCutButton) {
        tool = Tool::kCut;
    } else if (button == 1) {
        tool = s.tool;
    }
    if (tool == Tool::kThrow) {  // the throw reads its button itself; only its path is drawn
        throwing_ = true;
        throwX_ = pointerX_;
        throwY_ = pointerY_;
        return;
    }
    if (button_ != 0) return;  // one gesture at a time
    button_ = button;
    tool_ = tool;
    startX_ = lastX_ = pointerX_;
    startY_ = lastY_ = pointerY_;
    switch (tool) {
        case Tool::kGrab:
            controls_.Request(ToolCommand(CommandKind::kGrab, pointerX_, pointerY_));
            break;
        case Tool::kPin:
            controls_.Request(ToolCommand(CommandKind::kPin, pointerX_, pointerY_));
            break;
        case Tool::kErase:
            controls_.Request(ToolCommand(CommandKind::kErase, pointerX_, pointerY_));
            break;
        default:
            break;  // the rest act as the pointer moves or on release
    }
}

void Gestures::Drag() {
    if (tool_ == Tool::kGrab) {
        controls_.Request(ToolCommand(CommandKind::kDrag, pointerX_, pointerY_));
    } else if (tool_ == Tool::kCut && (pointerX_ != lastX_ || pointerY_ != lastY_)) {
        controls_.Request(ToolCommand(CommandKind::kCut, lastX_, lastY_, pointerX_, pointerY_));
    }
    lastX_ = pointerX_;
    lastY_ = pointerY_;
}

void Gestures::Lift(int32_t button) {
    if (button == 1) throwing_ = false;
    if (button_ == 0 || button != button_) return;
    const int32_t x = pointerX_, y = pointerY_;
    switch (tool_) {
        case Tool::kGrab:
            controls_.Request(ToolCommand(CommandKind::kRelease));
            break;
        case Tool::kBox:
            controls_.Request(ToolCommand(CommandKind::kBox, startX_, startY_, x, y));
            break;
        case Tool::kBall: {
            const float dx = F(x - startX_), dy = F(y - startY_);
            const auto r = static_cast<int32_t>(std::lround(std::sqrt(dx * dx + dy * dy)));
            controls_.Request(ToolCommand(CommandKind::kBall, startX_, startY_, r));
            break;
        }
        case Tool::kRope:
            controls_.Request(ToolCommand(CommandKind::kRope, startX_, startY_, x, y));
            break;
        case Tool::kStick:
            controls_.Request(ToolCommand(CommandKind::kStick, startX_, startY_, x, y));
            break;
        default:
            break;
    }
    button_ = 0;
}

void Gestures::Cancel() {
    // Switched away from: a hold lets go, anything being drawn is dropped.
    if (button_ != 0 && tool_ == Tool::kGrab) {
        controls_.Request(ToolCommand(CommandKind::kRelease));
    }
    button_ = 0;
    throwing_ = false;
}

void Gestures::Draw(const ControlSettings& settings, const PhysicsWorld& world) const {
    if (throwing_ && settings.look == Look::kClear && settings.tool == Tool::kThrow &&
        !settings.captured) {
        DrawThrowPath(world, throwX_, throwY_, pointerX_, pointerY_, settings.throwing.divisor);
    }
    const bool label = settings.tool != Tool::kThrow && havePointer_;
    if (button_ == 0 && !label) return;
    SetColor(255, 200, 60);
    const float sx = F(startX_), sy = F(startY_), px = F(pointerX_), py = F(pointerY_);
    if (button_ != 0) {
        switch (tool_) {
            case Tool::kBox:
                DrawRectangle(sx, sy, px, py);
                break;
            case Tool::kBall:
                DrawCircle(sx, sy, std::sqrt((px - sx) * (px - sx) + (py - sy) * (py - sy)));
                break;
            case Tool::kRope:
            case Tool::kStick:
                DrawLineSegment(sx, sy, px, py, 1);
                break;
            default:
                break;
        }
    }
    if (label) DrawCanvasText(ToolName(settings.tool), px + 10.0f, py + 10.0f);
    SetColor(255, 255, 255);
}

#include "app/mouse.h"

#include "host/input.h"

float ThrowSpeed(int32_t delta, int32_t divisor) {
    float v = static_cast<float>(delta / divisor);  // integer division truncates toward 0
    if (!(v <= kThrowSpeedLimit)) v = kThrowSpeedLimit;
    if (!(v >= -kThrowSpeedLimit)) v = -kThrowSpeedLimit;
    return v;
}

float ReleasePoint(int32_t at, float size) {
    const float p = static_cast<float>(at);
    if (p < -kReleaseReach) return -kReleaseReach;
    if (p > size + kReleaseReach) return size + kReleaseReach;
    return p;
}

Ref<PhysicsBody> MouseStep(PhysicsBody& templateBox, bool& held, const ThrowSettings& throwing) {
    bool release = false;
    if (IsMouseDown(kThrowButton) != 0) {
        held = true;
    } else if (held) {
        held = false;
        release = true;
    } else {
        // Restart both movement counters from where the cursor is now.
        MouseDeltaX();
        MouseDeltaY();
    }
    if (!release) return nullptr;

    // A copy of the template as it is now, wherever it stands in the pile and however tilted.
    Ref<PhysicsBody> copy = templateBox.duplicate();
    copy->UpdatePosition();
    const int32_t y = MouseCursorY();  // y is asked first
    const int32_t x = MouseCursorX();
    const PhysicsWorld& world = *copy->pworld;
    VectRef target = MakeVect(ReleasePoint(x, world.Width), ReleasePoint(y, world.Height));
    copy->Position(*target);
    const float vx = ThrowSpeed(MouseDeltaX(), throwing.divisor);
    const float vy = ThrowSpeed(MouseDeltaY(), throwing.divisor);
    copy->SetVelocity(*MakeVect(vx, vy));
    copy->SetBounce(throwing.bounce);
    copy->SetFriction(throwing.friction);
    return copy;
}

void MouseStepCaptured(bool& held) {
    held = false;
    MouseDeltaX();
    MouseDeltaY();
}

#pragma once
// Throwing boxes with the mouse. Once per frame the left button is tested: holding it does
// nothing, releasing it throws a copy of the template box centred on the cursor, with the drag
// distance divided by 16 (truncated toward zero) as its velocity, at most 7 pixels per step on
// each axis. A release outside the window throws the box from where the cursor is, but from no
// further out than kReleaseReach. While the button is up the movement counters are read and
// dropped every frame, so that the next drag measures from the last frame before the press.

#include <cstdint>

#include "physics/body.h"

inline constexpr int32_t kThrowButton = 1;
inline constexpr int32_t kThrowDivisor = 16;
inline constexpr float kThrowSpeedLimit = 7.0f;
// The walls send a particle past them back in at half its overshoot per step: a box released a
// few hundred pixels out would come back at a hundred pixels and more a step, pass through
// whatever it meets, hand that speed on through friction, and fly out through the far wall. Held
// to this reach, a released box comes back at no more than about 30 pixels a step. (A release
// just outside, as a hand lets go past the edge, is within it and unchanged.)
inline constexpr float kReleaseReach = 32.0f;

// What the controls panel may change about throws; the defaults are the demo's own (a copy of
// the template gets bounce 1 and friction 0.5 anyway).
struct ThrowSettings {
    int32_t divisor = kThrowDivisor;  // at least 1
    float bounce = 1.0f;
    float friction = 0.5f;
};

// Where along one axis a release at `at` (window pixels) puts the thrown box's centre, in a world
// `size` pixels long: `at`, held to within kReleaseReach of the walls.
float ReleasePoint(int32_t at, float size);

// The throw velocity along one axis for a drag of `delta` pixels.
float ThrowSpeed(int32_t delta, int32_t divisor = kThrowDivisor);

// One frame's mouse step. `held` says that the button was down at the previous frame's test.
// Returns the thrown box, or none.
Ref<PhysicsBody> MouseStep(PhysicsBody& templateBox, bool& held,
                           const ThrowSettings& throwing = {});

// The mouse step while the pointer is over the controls panel: nothing is thrown, a press there
// starts no throw, and the movement counters restart as they do while the button is up.
void MouseStepCaptured(bool& held);

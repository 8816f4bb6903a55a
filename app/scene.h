#pragma once
// The demo scene: a static floor strip along the bottom of the window and a pyramid of 45 boxes
// of 50 x 50 pixels standing on it, nine in the bottom row and one at the top. Every box is a
// body of four particles and six constraints (four collision edges, two braces). The pyramid's
// bottom-left box is the template that every other box, and every thrown box, is copied from.
//
// The order of creation fixes the array slots, the list order and the body IDs, and through them
// the results of the simulation, so it is part of the scene.

#include <cstdint>

#include "physics/body.h"
#include "physics/world.h"

inline constexpr int32_t kPyramidRows = 9;
inline constexpr float kFloorMass = 99999.0f;
inline constexpr float kBoxMass = 1.0f;
inline constexpr float kRowStepX = 70.0f;  // 50-pixel box plus a 20-pixel gap
inline constexpr float kRowRiseX = 35.0f;  // each row starts half a step to the right...
inline constexpr float kRowRiseY =
    -62.0f;  // ...and 62 pixels higher: 12 pixels above the row below

// Builds the floor (body 0), the template box (body 1) and the 44 copies (bodies 2 to 45) in
// world; returns the template box. Call once, on a world with no bodies yet.
Ref<PhysicsBody> BuildScene(PhysicsWorld& world);

#pragma once
// The looks the world is drawn in (Look, app/settings.h), and the clear look's drawing. The classic
// look is the world's own: each step draws its constraints through the line sink as it relaxes, so
// a moving box shows one outline per step. The clear look turns the sink off and draws the world
// once a frame through the physics library's debug drawing (DrawWorld): each body filled in a
// colour of its own inside the loop of its colliding edges, bodies that cannot move grey, pinned
// particles marked with a square, springs (elasticity below 1) green, ropes and threads (the links
// of bodies with no fill) tan, sticks of no body white; the grab's spring and held particle orange,
// and while a box is dragged to be thrown, the path it would fly.

#include <cstdint>
#include <string_view>

#include "app/settings.h"

class PhysicsWorld;
class Grab;

inline constexpr int32_t kLookKey = 76;  // L: the next look

// "classic", "clear": the names commands and options use.
const char* LookName(Look look);
bool LookFromName(std::string_view name, Look& look);
Look NextLook(Look look);

// The world in the clear look, and the hold on it when there is one.
void DrawClearWorld(const PhysicsWorld& world, const Grab& held);

// The throw under way: the drag from (x0, y0) to (x, y), and the path a box released at (x, y)
// now would fly (the throw's speed for that drag with `divisor`, under the world's gravity) as
// one dash a frame for half a second.
void DrawThrowPath(const PhysicsWorld& world, int32_t x0, int32_t y0, int32_t x, int32_t y,
                   int32_t divisor);

// The background of each look: the clear look's is dark slate; choosing the classic look again
// brings back the colour it had.
void UseLookBackground(Look look);

#pragma once
// The particle trace that the sandbox (--trace) and the replay tool write: after each frame, one
// line `F I X Y` per particle in creation order (frame, position in the world's list from 0, the
// position printed with %.9g). The physics is bit for bit deterministic, so two runs with the
// same input give the same text.

#include <cstdint>
#include <cstdio>

#include "physics/world.h"

// One frame's lines; false when writing failed.
bool WriteTraceFrame(std::FILE* out, int32_t frame, const PhysicsWorld& world);

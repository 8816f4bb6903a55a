#pragma once
// The stable step: a second way of stepping a world's particles, constraints and bodies, chosen
// by the world's stepMode, that keeps stacks of boxes standing. A step is cut into substeps; in
// each, the particles move by their speed and a share of gravity, then the constraints and the
// contacts between bodies are corrected in turn for a few rounds, every correction shared by
// inverse mass, and the walls are applied. Contacts are found once a step, with a margin that
// covers the step's motion, and corrected in every round; friction holds a contact still while
// its sideways slip stays within what the push allows. Positions, previous positions and
// velocities keep their meaning between steps, so throws, moves and saves work as in the default
// step, which this leaves exactly as it is.

#include <cstdint>

class PhysicsWorld;

inline constexpr int32_t kStableSubsteps = 4;

// Rounds of corrections per substep for the world's CONSTRAINT_ITERATIONS: half of it, rounded
// up, and at least one (the demo's 5 gives 3).
int32_t StableRounds(int32_t iterations);

// One stable step of world: draws the constraints as the default step does, moves and corrects
// everything over the substeps (the collision pass is part of it), removes the constraints that
// broke, and refreshes the bodies' boxes and centres as UpdateAllPositions does. The callbacks in
// the world's Properties are not run: this takes the place of the whole step.
void StableStep(PhysicsWorld& world);

// How many threads world's stable steps use: 1 to 8, used as given, or 0 (the default) for
// SANDBOX_THREADS from the environment (1 to 8, used as given), else the machine's cores up to 4,
// and then only as many as the scene has 1,024 particles for. The results are the same bits
// whatever the count; the browser build always uses one. Raises the runtime error for a count
// outside 0 to 8.
void SetStepThreads(PhysicsWorld& world, int32_t threads);

// One step of world in its stepMode: StableStep, or the default step's three calls.
void StepWorld(PhysicsWorld& world);

#pragma once
// Scene files: the whole state of a world that the simulation step reads, as JSON text that
// people can read, write and diff (docs/scene-format.md describes every field).
//
// The path is split in three so that each part can be tested (and fuzzed) alone:
//   text  --LoadScene-->   SceneData   (parse and validate fully; never touches a world)
//                                      app/scene_read.cpp
//   SceneData --BuildSceneWorld-->  a fresh world with its template body (cannot fail)
//   world --CaptureScene--> SceneData  app/scene_world.cpp
//   SceneData --WriteScene--> text     app/scene_write.cpp
// Floats are written in the shortest form that reads back to the same bits, so a world saved
// and loaded again steps exactly as the one it was saved from.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "physics/body.h"
#include "physics/world.h"

inline constexpr int32_t kSceneVersion = 1;
// Limits a file must keep to: they bound the memory and the time of a load.
inline constexpr int32_t kMaxSceneParticles = 200000;
inline constexpr int32_t kMaxSceneConstraints = 400000;
inline constexpr int32_t kMaxSceneBodies = 100000;
inline constexpr int32_t kMaxSceneIterations = 1000;
inline constexpr size_t kMaxSceneBytes = 64u << 20;
inline constexpr int32_t kMaxSceneNesting = 32;
// Any other array (a body's lists, the slot and list orders) holds at most this many entries.
inline constexpr int32_t kMaxSceneArray = kMaxSceneConstraints;
// The bodies' lists together (each entry is a link the world keeps): room for every particle and
// constraint twice over.
inline constexpr int32_t kMaxSceneBodyEntries = 2 * (kMaxSceneParticles + kMaxSceneConstraints);
// Values no sound run reaches, refused so that a loaded world never steps into NaN: the world's
// size, coordinates, velocities and lengths within +-kMaxSceneCoordinate, masses up to
// kMaxSceneMass (above 0 for a particle that moves), elasticity 0..kMaxSceneElasticity, gravity
// within +-kMaxSceneGravity, bounce and friction within +-kMaxBounceOrFriction (the panel's range),
// and a next body ID that a year of throws cannot carry past the largest 32-bit number.
inline constexpr float kMaxSceneCoordinate = 1e6f;
inline constexpr float kMaxSceneMass = 1e9f;
inline constexpr float kMaxSceneElasticity = 2.0f;
inline constexpr float kMaxSceneGravity = 1000.0f;
inline constexpr int32_t kMaxSceneBodyId = 1000000000;
// The mouse: buttons 0..3, and cursor positions as scripts take them.
inline constexpr int32_t kSceneButtons = 4;
inline constexpr int32_t kMaxSceneCursor = 1000000;

struct SceneVec {
    float x = 0.0f;
    float y = 0.0f;
};

// Particles and constraints name each other (and bodies name them) by their place in the file's
// `particles` and `constraints` arrays.
struct SceneParticle {
    SceneVec pos, vel, oldpos, accvel;
    float mass = 0.0f;
    uint8_t active = 1;
    uint8_t ghost = 0;
};

struct SceneConstraint {
    int32_t v1 = 0;
    int32_t v2 = 0;
    float elasticity = 1.0f;
    float TargetLength = 0.0f;
    float OriginalLength = 0.0f;
    float BreakPoint = 0.0f;
    float totmass = 0.0f;
    float v1prop = 0.0f;
    float v2prop = 0.0f;
    uint8_t setremove = 0;
};

struct SceneBody {
    std::vector<int32_t> verlets, activeverlets, constraints, activeconstraints;
    uint8_t selfcollide = 0;
    int32_t ID = 0;
    SceneVec maxxy, minxy, Pos, Vel;
    float bounce = 1.0f;
    float friction = 0.5f;
    bool inWorld = true;  // false: kept (as the template) but not in the world's body list
};

// What the program reads besides the world: the controls' settings that a step or a throw reads,
// and a throw under way. A file without it starts as the programs always do.
struct SceneSession {
    int32_t stepsPerFrame = 3;
    bool paused = false;
    bool captured = false;  // the pointer is over the controls panel
    int32_t throwDivisor = 16;
    float throwBounce = 1.0f;
    float throwFriction = 0.5f;
    bool held = false;    // the throw button was down at the last frame's test
    int32_t buttons = 0;  // the mouse buttons down (bit b for button b)
    int32_t cursorX = 0, cursorY = 0;
    int32_t dragX = 0, dragY = 0;  // where the drag's movement is measured from
    // A grab held (Grab, physics/edit.h): the held particle and, for a free one, the anchor and
    // the spring that hold it, as indices into the scene's particles and constraints (-1: none;
    // no particle, no grab), and the target the hold glides to.
    int32_t grabParticle = -1;
    int32_t grabAnchor = -1;
    int32_t grabSpring = -1;
    SceneVec grabTarget;
};

struct SceneData {
    float width = 0.0f;
    float height = 0.0f;
    int32_t constraintIterations = 10;
    SceneVec gravity{0.0f, 0.07f};
    float gravityx = 0.0f;
    float gravityy = 0.0f;
    int32_t bodyIdCount = 0;
    StepMode stepMode = StepMode::kDefault;
    float contactDamping = 0.0f;
    std::vector<SceneParticle> particles;
    std::vector<SceneConstraint> constraints;
    // The world's array slots (slot order) and list order, as indices into the arrays above. The
    // list holds the same particles as the slots; particles in neither are out of the world.
    std::vector<int32_t> particleSlots, particleList;
    std::vector<int32_t> constraintSlots, constraintList;
    std::vector<SceneBody> bodies;  // in the world's body order
    int32_t templateBody = 0;
    SceneSession session;
};

// A load's outcome: the scene, or an error naming the file and the line and column (syntax) or
// the field (meaning). Warnings (unknown fields) come with a scene or a meaning error.
struct SceneLoad {
    std::optional<SceneData> scene;
    std::string error;
    std::vector<std::string> warnings;
};

// Parses and checks `text` completely; `name` (a file name) starts every message. Survives any
// bytes; makes no world.
SceneLoad LoadScene(std::string_view text, const std::string& name);

// The scene as text, ending in a newline. Throws std::runtime_error when a number is not finite
// (such a state could not be loaded again).
std::string WriteScene(const SceneData& scene);

// The world's state, with `templateBody` the body that mouse throws copy.
SceneData CaptureScene(const PhysicsWorld& world, const PhysicsBody& templateBody);

struct SceneWorld {
    Ref<PhysicsWorld> world;
    Ref<PhysicsBody> templateBody;
};
// A new world (registered in WorldList like every world) holding the scene. `scene` must come
// from LoadScene or CaptureScene.
SceneWorld BuildSceneWorld(const SceneData& scene);

// Float text that reads back to the same bits (-0 included), shortest form; throws
// std::runtime_error for infinities and NaN, which JSON cannot hold.
std::string SceneFloatText(float value);

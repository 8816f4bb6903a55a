#include "app/scene_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "app/scene.h"
#include "app/scene_source.h"
#include "physics/constraint.h"
#include "physics/stable_step.h"
#include "physics/verlet.h"

namespace {

// The physics of one simulation step, as the program runs it.
void Step(PhysicsWorld& world) {
    world.Update();
    PhysicsBody::UpdateAllPositions(&world);
    PhysicsBody::CollideAll(&world);
}

// Every particle position in list order, as bits.
std::vector<uint32_t> Positions(const PhysicsWorld& world) {
    std::vector<uint32_t> out;
    for (Verlet* v : world.VerletList->each<Verlet>()) {
        out.push_back(std::bit_cast<uint32_t>(v->pos->x));
        out.push_back(std::bit_cast<uint32_t>(v->pos->y));
    }
    return out;
}

SceneWorld Reloaded(const PhysicsWorld& world, const PhysicsBody& templ) {
    const std::string text = WriteScene(CaptureScene(world, templ));
    SceneLoad load = LoadScene(text, "saved.json");
    EXPECT_TRUE(load.scene) << load.error;
    EXPECT_TRUE(load.warnings.empty());
    return BuildSceneWorld(*load.scene);
}

SceneWorld Pyramid() {
    SceneWorld s;
    s.world = PhysicsWorld::Create(800.0f, 600.0f, 1);
    s.world->CONSTRAINT_ITERATIONS = 5;
    s.templateBody = BuildScene(*s.world);
    return s;
}

void Throw(const SceneWorld& s, float x, float y, float vx, float vy) {
    Ref<PhysicsBody> copy = s.templateBody->duplicate();
    copy->UpdatePosition();
    Vect target(x, y);
    copy->Position(target);
    copy->SetVelocity(Vect(vx, vy));
}

TEST(SceneFile, FloatsReadBackToTheirOwnBits) {
    std::mt19937 rng(7);
    SceneData s;
    s.width = 800.0f;
    s.height = 600.0f;
    const std::vector<float> special = {-0.0f,
                                        0.07f,
                                        std::numeric_limits<float>::denorm_min(),
                                        -std::numeric_limits<float>::denorm_min(),
                                        std::numeric_limits<float>::min(),
                                        std::numeric_limits<float>::max(),
                                        -std::numeric_limits<float>::max(),
                                        16777216.0f,
                                        1.0f / 3.0f};
    std::vector<float> values = special;
    while (values.size() < 40000) {
        const float f = std::bit_cast<float>(static_cast<uint32_t>(rng()));
        if (std::isfinite(f)) values.push_back(f);
    }
    // Carried in the fields a load takes at any finite value: the constraints' last mass sums
    // and shares.
    s.particles.resize(2);
    s.particles[0].mass = s.particles[1].mass = 1.0f;
    s.particleSlots = s.particleList = {0, 1};
    for (size_t i = 0; i + 3 <= values.size(); i += 3) {
        SceneConstraint c;
        c.v2 = 1;
        c.totmass = values[i];
        c.v1prop = values[i + 1];
        c.v2prop = values[i + 2];
        s.constraints.push_back(c);
        s.constraintSlots.push_back(static_cast<int32_t>(s.constraints.size() - 1));
    }
    s.constraintList = s.constraintSlots;
    s.bodies.emplace_back();
    SceneLoad load = LoadScene(WriteScene(s), "floats.json");
    ASSERT_TRUE(load.scene) << load.error;
    ASSERT_EQ(load.scene->constraints.size(), s.constraints.size());
    for (size_t i = 0; i < s.constraints.size(); ++i) {
        const SceneConstraint& a = s.constraints[i];
        const SceneConstraint& b = load.scene->constraints[i];
        ASSERT_EQ(std::bit_cast<uint32_t>(a.totmass), std::bit_cast<uint32_t>(b.totmass))
            << a.totmass;
        ASSERT_EQ(std::bit_cast<uint32_t>(a.v1prop), std::bit_cast<uint32_t>(b.v1prop)) << a.v1prop;
        ASSERT_EQ(std::bit_cast<uint32_t>(a.v2prop), std::bit_cast<uint32_t>(b.v2prop)) << a.v2prop;
    }
    EXPECT_THROW(SceneFloatText(std::nanf("")), std::runtime_error);
    EXPECT_THROW(SceneFloatText(INFINITY), std::runtime_error);
}

// Saving after N steps and loading gives a world that runs on exactly as the original: the
// pyramid with throws (a box thrown now and then, one thrown just before the save so that its
// particles still carry velocity added by collisions).
TEST(SceneFile, SavedAndLoadedPyramidContinuesBitForBit) {
    SceneWorld a = Pyramid();
    for (int32_t i = 0; i < 90; ++i) {
        if (i == 20) Throw(a, 600.0f, 200.0f, -4.0f, 1.0f);
        if (i == 88) Throw(a, 300.0f, 300.0f, 3.0f, -2.0f);
        Step(*a.world);
    }
    SceneWorld b = Reloaded(*a.world, *a.templateBody);
    // The reloaded world saves to the same text.
    EXPECT_EQ(WriteScene(CaptureScene(*a.world, *a.templateBody)),
              WriteScene(CaptureScene(*b.world, *b.templateBody)));
    for (int32_t i = 0; i < 600; ++i) {
        if (i == 100) {
            Throw(a, 200.0f, 100.0f, 7.0f, 0.0f);
            Throw(b, 200.0f, 100.0f, 7.0f, 0.0f);
        }
        Step(*a.world);
        Step(*b.world);
        ASSERT_EQ(Positions(*a.world), Positions(*b.world)) << "step " << i;
    }
}

// A stable world's contact damping is saved with it and read back, and the reloaded world runs on
// exactly as the original; a world without it writes no such field, so older files keep their
// text.
TEST(SceneFile, ContactDampingIsSavedOnlyWhenSet) {
    SceneWorld a = Pyramid();
    EXPECT_EQ(WriteScene(CaptureScene(*a.world, *a.templateBody)).find("contactDamping"),
              std::string::npos);
    a.world->stepMode = StepMode::kStable;
    a.world->contactDamping = 0.05f;
    Throw(a, 600.0f, 200.0f, -4.0f, 1.0f);
    for (int32_t i = 0; i < 40; ++i) StepWorld(*a.world);
    SceneWorld b = Reloaded(*a.world, *a.templateBody);
    EXPECT_NE(WriteScene(CaptureScene(*b.world, *b.templateBody)).find("\"contactDamping\": 0.05"),
              std::string::npos);
    for (int32_t i = 0; i < 200; ++i) {
        StepWorld(*a.world);
        StepWorld(*b.world);
        ASSERT_EQ(Positions(*a.world), Positions(*b.world)) << "step " << i;
    }
}

// Removals make slot order and list order differ, broken constraints leave the world but stay
// in their bodies, and a particle can be out of the world but still in a body: all of it is
// carried.
TEST(SceneFile, RemovalsAndDetachedObjectsAreCarried) {
    SceneWorld a = Pyramid();
    PhysicsWorld& w = *a.world;
    auto* body = ObjectCast<PhysicsBody>(w.PhysicsBodies->First().get());
    ASSERT_NE(body, nullptr);
    // A joint that breaks at the first relaxation, leaving the world but not its body.
    auto v0 = std::static_pointer_cast<Verlet>(w.VerletArray->Getbyindex(10));
    auto v1 = std::static_pointer_cast<Verlet>(w.VerletArray->Getbyindex(40));
    Ref<constraint> joint = constraint::Create(&w, v0, v1, 1.0f, 0.01f, -1.0f);
    body->addconstraint(joint, 1);
    ObjectCast<constraint>(w.ConstraintArray->at(12))->remove();  // still in its body's lists
    ObjectCast<Verlet>(w.VerletArray->at(3))->remove();           // likewise
    for (int32_t i = 0; i < 30; ++i) Step(w);
    ASSERT_FALSE(w.ConstraintList->Contains(joint.get()));
    SceneWorld b = Reloaded(w, *a.templateBody);
    EXPECT_EQ(b.world->VerletArray->last, w.VerletArray->last);
    EXPECT_EQ(b.world->ConstraintArray->last, w.ConstraintArray->last);
    for (int32_t i = 0; i < 300; ++i) {
        Step(w);
        Step(*b.world);
        ASSERT_EQ(Positions(w), Positions(*b.world)) << "step " << i;
    }
}

struct BadFile {
    const char* label;
    std::string text;
    const char* message;
};

std::string Minimal(const std::string& particles, const std::string& constraints,
                    const std::string& bodies, const std::string& extra = "") {
    return "{\"version\": 1, \"world\": {\"width\": 800, \"height\": 600}, \"template\": 0, " +
           extra + "\"particles\": [" + particles + "], \"constraints\": [" + constraints +
           "], \"bodies\": [" + bodies + "]}";
}

std::string Zeros(int32_t n) {
    std::string s = "0";
    for (int32_t i = 1; i < n; ++i) s += ",0";
    return s;
}

const std::string kTwo = R"({"pos": [1, 2], "mass": 1}, {"pos": [5, 2], "mass": 1})";
const std::string kBody =
    R"({"verlets": [0, 1], "activeverlets": [0, 1], "constraints": [0], "activeconstraints": []})";

const std::string kBodyNone =
    R"({"verlets": [], "activeverlets": [], "constraints": [], "activeconstraints": []})";

class SceneFileErrors : public ::testing::TestWithParam<BadFile> {};

TEST_P(SceneFileErrors, NameTheFileAndThePlace) {
    const SceneLoad load = LoadScene(GetParam().text, "bad.json");
    EXPECT_FALSE(load.scene);
    EXPECT_NE(load.error.find(GetParam().message), std::string::npos) << load.error;
    EXPECT_EQ(load.error.rfind("bad.json", 0), 0u) << load.error;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SceneFileErrors,
    ::testing::Values(
        BadFile{"syntax", "{\n  \"version\": 1,\n  \"world\": {\"width\": 8,, }\n}",
                "bad.json:3:24: syntax error while parsing object key"},
        BadFile{"truncated", "{\"version\": 1, \"world\": {",
                "bad.json:1:26: syntax error while parsing object key - unexpected end of input"},
        BadFile{"binary", std::string("\x00\xff\xfe{", 4), "bad.json:1:1: syntax error"},
        BadFile{"deep", std::string(100, '[') + std::string(100, ']'), "nested more than 32 deep"},
        BadFile{"not an object", "[1, 2]", "(top): must be an object"},
        BadFile{"version", Minimal(kTwo, R"({"ends": [0, 1]})", kBody).replace(12, 1, "7"),
                "version: unknown version 7"},
        BadFile{"end out of range", Minimal(kTwo, R"({"ends": [0, 1]}, {"ends": [1, 2]})", kBody),
                "constraints[1].ends[1]: names particle 2, but the scene has 2 particles"},
        BadFile{"body constraint",
                Minimal(kTwo, R"({"ends": [0, 1]})",
                        R"({"verlets": [0], "activeverlets": [], "constraints": [0, 3], )"
                        R"("activeconstraints": []})"),
                "bodies[0].constraints[1]: names constraint 3"},
        BadFile{"negative index", Minimal(kTwo, R"({"ends": [0, -1]})", kBody),
                "constraints[0].ends[1]: names particle -1"},
        BadFile{"slot twice",
                Minimal(kTwo, R"({"ends": [0, 1]})", kBody, R"("particleSlots": [1, 1], )"),
                "particleSlots[1]: particle 1 holds a second slot"},
        BadFile{"list not slots",
                Minimal(kTwo, R"({"ends": [0, 1]})", kBody,
                        R"("particleSlots": [0], "particleList": [1], )"),
                "particleList[0]: particle 1 is listed but holds no slot"},
        BadFile{
            "infinite",
            Minimal(
                R"({"pos": [1e999, 2], "mass": 1})", "",
                kBody.substr(0, 0) +
                    R"({"verlets": [], "activeverlets": [], "constraints": [], "activeconstraints": []})"),
            "bad.json:1:98: the number 1e999 is out of the range of 32-bit floats"},
        BadFile{"zero width",
                Minimal(kTwo, "", "").replace(Minimal(kTwo, "", "").find("800"), 3, "0"),
                "world.width: must be above 0"},
        BadFile{"missing field", Minimal(R"({"pos": [1, 2]})", "", ""),
                "particles[0]: the required field 'mass' is missing"},
        BadFile{"no bodies", Minimal(kTwo, "", ""),
                "template: names a body, but the scene has none"},
        BadFile{"string number", Minimal(R"({"pos": ["1", 2], "mass": 1})", "", ""),
                "particles[0].pos[0]: must be a number"},
        BadFile{"duplicate key", Minimal(R"({"pos": [1, 2], "mass": 1, "mass": 2})", "", ""),
                "the field 'mass' appears twice"},
        BadFile{"too many",
                Minimal(
                    [] {
                        std::string s = "{}";
                        for (int32_t i = 0; i < kMaxSceneParticles; ++i) s += ",{}";
                        return s;
                    }(),
                    "", ""),
                "particles: holds more than 200000 particles; the limit is 200000"},
        BadFile{"far position", Minimal(R"({"pos": [1e30, 2], "mass": 1})", "", kBodyNone),
                "particles[0].pos[0]: must be in -1000000..1000000, not 1e+30"},
        BadFile{"massless mover", Minimal(R"({"pos": [1, 2], "mass": 0})", "", kBodyNone),
                "particles[0].mass: must be above 0 for a particle that moves, not 0"},
        BadFile{"huge mass",
                Minimal(R"({"pos": [1, 2], "mass": 3e38, "active": 0})", "", kBodyNone),
                "particles[0].mass: must be in 0..1000000000, not 3e+38"},
        BadFile{"fast", Minimal(R"({"pos": [1, 2], "vel": [0, -3e38], "mass": 1})", "", kBodyNone),
                "particles[0].vel[1]: must be in -1000000..1000000"},
        BadFile{"elasticity", Minimal(kTwo, R"({"ends": [0, 1], "elasticity": 50})", kBody),
                "constraints[0].elasticity: must be in 0..2, not 50"},
        BadFile{"bounce",
                Minimal(kTwo, R"({"ends": [0, 1]})",
                        kBody.substr(0, kBody.size() - 1) + R"(, "bounce": 1e30})"),
                "bodies[0].bounce: must be in -10..10, not 1e+30"},
        BadFile{"steps", Minimal(kTwo, "", kBodyNone, R"("session": {"stepsPerFrame": 0}, )"),
                "session.stepsPerFrame: must be in 1..20"},
        BadFile{"grab spring",
                Minimal(R"({"pos": [1, 2], "mass": 1, "active": 0}, {"pos": [5, 2], "mass": 1})",
                        R"({"ends": [1, 0]})", kBodyNone,
                        R"("session": {"grab": {"particle": 1, "anchor": 0, "spring": 0,)"
                        R"( "target": [3, 3]}}, )"),
                "session.grab.spring: must join the anchor to the particle held"},
        BadFile{"grab anchor",
                Minimal(kTwo, R"({"ends": [0, 1]})", kBodyNone,
                        R"("session": {"grab": {"particle": 1, "anchor": 0,)"
                        R"( "spring": 0, "target": [3, 3]}}, )"),
                "session.grab.anchor: names no fixed particle of the world"},
        BadFile{"grab half",
                Minimal(kTwo, "", kBodyNone,
                        R"("session": {"grab": {"particle": 1, "anchor": 0,)"
                        R"( "target": [3, 3]}}, )"),
                "session.grab: has an anchor without a spring"},
        BadFile{"body ids",
                Minimal(kTwo, "", kBodyNone).replace(52, 0, ", \"bodyIdCount\": 2147483647"),
                "world.bodyIdCount: must be at most 1000000000"},
        BadFile{"step mode",
                Minimal(kTwo, "", kBodyNone).replace(52, 0, ", \"stepMode\": \"stiff\""),
                "world.stepMode: must be \"default\" or \"stable\", got \"stiff\""},
        BadFile{"contact damping",
                Minimal(kTwo, "", kBodyNone).replace(52, 0, ", \"contactDamping\": 1.5"),
                "world.contactDamping: must be in 0..1, not 1.5"},
        BadFile{
            "body lists",
            Minimal(
                kTwo, "",
                [] {
                    const std::string body =
                        R"({"verlets": [)" + Zeros(kMaxSceneArray) +
                        R"(], "activeverlets": [], "constraints": [], "activeconstraints": []})";
                    return body + "," + body + "," + body + "," + body;
                }()),
            "bodies: the bodies' lists hold more than 1200000 entries in all"},
        BadFile{
            "long list",
            Minimal(kTwo, "",
                    R"({"verlets": [)" + Zeros(kMaxSceneArray + 1) +
                        R"(], "activeverlets": [], "constraints": [], "activeconstraints": []})"),
            "bodies[0].verlets: holds more than 400000 entries"}),
    [](const ::testing::TestParamInfo<BadFile>& info) {
        std::string n = info.param.label;
        for (char& ch : n) ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        return n;
    });

TEST(SceneFile, UnknownFieldsWarnAndDefaultsFillIn) {
    const SceneLoad load = LoadScene(
        Minimal(
            R"({"pos": [1, 2], "vel": [0.5, 0], "mass": 1, "colour": "red"}, {"pos": [5, 2], "mass": 1})",
            R"({"ends": [0, 1]})", kBody, R"("author": "me", )"),
        "ok.json");
    ASSERT_TRUE(load.scene) << load.error;
    ASSERT_EQ(load.warnings.size(), 2u);
    EXPECT_NE(load.warnings[0].find("ok.json: (top): unknown field 'author'"), std::string::npos);
    EXPECT_NE(load.warnings[1].find("particles[0]: unknown field 'colour'"), std::string::npos);
    const SceneData& s = *load.scene;
    // As Verlet::Create and constraint::Create would have made them.
    EXPECT_EQ(s.particles[0].oldpos.x, 0.5f);
    EXPECT_EQ(s.constraints[0].OriginalLength, 4.0f);
    EXPECT_EQ(s.constraints[0].elasticity, 1.0f);
    EXPECT_EQ(s.bodies[0].friction, 0.5f);
    EXPECT_EQ(s.particleList, (std::vector<int32_t>{0, 1}));
}

// The file's fields may come in any order (references are resolved once all is read), and
// what an unknown field holds, however large, is read through and dropped.
TEST(SceneFile, FieldOrderAndUnknownContentsChangeNothing) {
    const SceneLoad a = LoadScene(Minimal(kTwo, R"({"ends": [1, 0], "elasticity": 0.5})", kBody,
                                          R"("particleSlots": [1, 0], )"),
                                  "a.json");
    const SceneLoad b = LoadScene(
        "{\"bodies\": [" + kBody + R"(], "constraints": [{"elasticity": 0.5, "ends": [1, 0]}], )" +
            R"("notes": [[)" + Zeros(kMaxSceneArray * 3) + R"(], {"a": {"b": [1]}}], )" +
            R"("particleSlots": [1, 0], "particles": [)" + kTwo +
            R"(], "template": 0, "world": {"height": 600, "width": 800}, "version": 1})",
        "b.json");
    ASSERT_TRUE(a.scene) << a.error;
    ASSERT_TRUE(b.scene) << b.error;
    ASSERT_EQ(b.warnings.size(), 1u);
    EXPECT_NE(b.warnings[0].find("b.json: (top): unknown field 'notes' ignored"),
              std::string::npos);
    EXPECT_EQ(b.scene->constraints[0].OriginalLength, 4.0f);
    SceneWorld wa = BuildSceneWorld(*a.scene);
    SceneWorld wb = BuildSceneWorld(*b.scene);
    EXPECT_EQ(WriteScene(CaptureScene(*wa.world, *wa.templateBody)),
              WriteScene(CaptureScene(*wb.world, *wb.templateBody)));
}

// Damaged copies of a real scene either load or fail with a message; none crashes (the
// sanitizer build runs this too).
TEST(SceneFile, DamagedFilesNeverCrash) {
    SceneWorld a = Pyramid();
    const std::string text = WriteScene(CaptureScene(*a.world, *a.templateBody));
    std::mt19937 rng(11);
    int32_t failed = 0;
    for (int32_t i = 0; i < 300; ++i) {
        std::string t = text;
        const int32_t edits = 1 + static_cast<int32_t>(rng() % 4);
        for (int32_t e = 0; e < edits; ++e) {
            const size_t at = rng() % t.size();
            switch (rng() % 3) {
                case 0:
                    t[at] = static_cast<char>(rng() % 256);
                    break;
                case 1:
                    t.erase(at, 1 + rng() % 20);
                    break;
                default:
                    t.insert(at, std::string(1, "0123456789-.e[]{},:\""[rng() % 20]));
                    break;
            }
        }
        const SceneLoad load = LoadScene(t, "damaged.json");
        if (!load.scene) {
            ++failed;
            EXPECT_FALSE(load.error.empty());
            continue;
        }
        BuildSceneWorld(*load.scene);  // whatever loads can be built
    }
    EXPECT_GT(failed, 100);
}

// Numbered saves never replace a file, leave no temporary file, and the saved text loads.
TEST(SceneSave, TakesTheFirstFreeNumberAndReplacesNothing) {
    namespace fs = std::filesystem;
    const fs::path dir =
        fs::temp_directory_path() / ("scene-save-test-" + std::to_string(std::random_device{}()));
    fs::create_directories(dir);
    std::ofstream(dir / "scene-0001.json") << "keep";
    std::ofstream(dir / "scene-0003.json") << "keep too";
    SceneWorld a = Pyramid();
    const std::string text = WriteScene(CaptureScene(*a.world, *a.templateBody));
    EXPECT_EQ(SaveSceneNumbered(text, dir).filename(), "scene-0002.json");
    EXPECT_EQ(SaveSceneNumbered(text, dir).filename(), "scene-0004.json");
    auto read = [](const fs::path& p) {
        std::ifstream in(p);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    };
    EXPECT_EQ(read(dir / "scene-0001.json"), "keep");
    EXPECT_EQ(read(dir / "scene-0003.json"), "keep too");
    EXPECT_EQ(read(dir / "scene-0004.json"), text);
    const SceneLoad load = ReadSceneArgument((dir / "scene-0002.json").string());
    EXPECT_TRUE(load.scene) << load.error;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 4);
    fs::remove_all(dir);
    EXPECT_THROW(SaveSceneNumbered(text, dir / "missing"), std::runtime_error);
}

}  // namespace

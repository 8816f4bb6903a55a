// The program's frame loop and mouse throwing, driven through real SDL events on the offscreen
// video driver: injected events go through the host's translation, its hook chain and the polled
// tables, exactly as a user's input would.

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "app/mouse.h"
#include "app/program.h"
#include "host/clock.h"
#include "host/graphics.h"
#include "host/hook.h"
#include "host/input.h"
#include "host/sdl/sdl_host.h"
#include "physics/verlet.h"
#include "tests/support/offscreen_host.h"

namespace {

// Counts the presents of the frame loop and keeps the picture of the last one.
class PresentProbe : public Object {
  public:
    static const ClassInfo kClass;
    PresentProbe() : Object(kClass) {}

    static ObjectRef OnPresent(int32_t, const ObjectRef& data, const ObjectRef& context) {
        auto* self = static_cast<PresentProbe*>(context.get());
        ++self->presents;
        if (self->capture) self->captured = ReadBackBuffer(self->rgba, self->width, self->height);
        return data;
    }

    int32_t presents = 0;
    bool capture = false;
    bool captured = false;
    std::vector<uint8_t> rgba;
    int32_t width = 0;
    int32_t height = 0;
};
const ClassInfo PresentProbe::kClass{"PresentProbe", &Object::kClass};

// A fresh program (window, world, scene) and a script of input per frame.
class FrameLoop : public ::testing::Test {
  protected:
    void SetUp() override {
        state = StartDemo();
        probe = std::make_shared<PresentProbe>();
        AttachHook(PresentHook, &PresentProbe::OnPresent, probe, 0);
    }
    void TearDown() override {
        DetachHook(PresentHook, &PresentProbe::OnPresent, probe);
        InjectKey(kQuitKey, false);
        InjectMouseButton(1, false);
        IsKeyDown(kQuitKey);  // take the releases in
    }

    // Runs `frames` frames with script[f] called before frame f's quit test, then holds Escape.
    // Returns the number of frames the loop ran.
    int32_t Run(int32_t frames) {
        FrameLoopHooks hooks;
        hooks.beforeQuitTest = [&](int32_t frame, DemoState& s) {
            EXPECT_EQ(&s, &state);
            if (auto it = script.find(frame); it != script.end()) it->second();
            if (frame == frames + 1) InjectKey(kQuitKey, true);
        };
        return RunFrameLoop(state, hooks);
    }

    std::vector<PhysicsBody*> Bodies() const {
        std::vector<PhysicsBody*> out;
        for (PhysicsBody* b : state.world->PhysicsBodies->each<PhysicsBody>()) out.push_back(b);
        return out;
    }

    // Mass centre and the velocity each particle starts its next step with (pos - oldpos),
    // which is what SetVelocity sets; the particles of a thrown box all share it.
    struct Motion {
        float cx, cy, vx, vy;
    };
    static Motion MotionOf(const PhysicsBody& b) {
        Motion m{0, 0, 0, 0};
        int n = 0;
        for (Verlet* v : b.verlets->each<Verlet>()) {
            m.cx += v->pos->x / 4;
            m.cy += v->pos->y / 4;
            m.vx = v->pos->x - v->oldpos->x;
            m.vy = v->pos->y - v->oldpos->y;
            ++n;
        }
        EXPECT_EQ(n, 4);
        return m;
    }

    DemoState state;
    Ref<PresentProbe> probe;
    std::map<int32_t, std::function<void()>> script;
};

TEST_F(FrameLoop, ClickWithoutMovingThrowsABoxCentredOnTheCursorAtRest) {
    Motion thrown{};
    script[1] = [] { InjectMouseMove(300, 200); };
    script[2] = [] { InjectMouseButton(1, true); };
    script[3] = [] { InjectMouseButton(1, false); };
    script[4] = [&] {  // right after frame 3's mouse step
        ASSERT_EQ(Bodies().size(), 47u);
        thrown = MotionOf(*Bodies().back());
    };
    EXPECT_EQ(Run(4), 4);
    EXPECT_NEAR(thrown.cx, 300.0f, 1e-3);
    EXPECT_NEAR(thrown.cy, 200.0f, 1e-3);
    EXPECT_EQ(thrown.vx, 0.0f);
    EXPECT_EQ(thrown.vy, 0.0f);
}

struct Drag {
    int32_t dx, dy;
    float vx, vy;
};
void PrintTo(const Drag& d, std::ostream* os) {
    *os << "drag (" << d.dx << ", " << d.dy << ") -> (" << d.vx << ", " << d.vy << ")";
}

class ThrowVelocity : public FrameLoop, public ::testing::WithParamInterface<Drag> {};

TEST_P(ThrowVelocity, IsTheDragOverSixteenTruncatedAndBounded) {
    const Drag d = GetParam();
    Motion thrown{};
    script[1] = [] { InjectMouseMove(400, 250); };
    script[2] = [] { InjectMouseButton(1, true); };
    script[3] = [&] { InjectMouseMove(400 + d.dx / 2, 250 + d.dy / 2); };
    script[4] = [&] { InjectMouseMove(400 + d.dx, 250 + d.dy); };
    script[5] = [] { InjectMouseButton(1, false); };
    script[6] = [&] { thrown = MotionOf(*Bodies().back()); };
    Run(6);
    ASSERT_EQ(Bodies().size(), 47u);
    EXPECT_NEAR(thrown.cx, static_cast<float>(400 + d.dx), 1e-3);
    EXPECT_NEAR(thrown.cy, static_cast<float>(250 + d.dy), 1e-3);
    // pos - (pos - v) can differ from v by a rounding of pos
    EXPECT_NEAR(thrown.vx, d.vx, 1e-4);
    EXPECT_NEAR(thrown.vy, d.vy, 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Drags, ThrowVelocity,
                         ::testing::Values(Drag{200, -40, 7, -2}, Drag{15, -15, 0, 0},
                                           Drag{-17, 0, -1, 0}, Drag{-300, 130, -7, 7},
                                           Drag{32, 112, 2, 7}, Drag{0, 0, 0, 0}),
                         [](const ::testing::TestParamInfo<Drag>& info) {
                             auto n = [](int32_t v) {
                                 return (v < 0 ? "minus" : "") + std::to_string(v < 0 ? -v : v);
                             };
                             return "dx" + n(info.param.dx) + "_dy" + n(info.param.dy);
                         });

TEST(ThrowSpeedRule, TruncatesTowardZeroThenBounds) {
    EXPECT_EQ(ThrowSpeed(15), 0.0f);
    EXPECT_EQ(ThrowSpeed(-15), 0.0f);
    EXPECT_EQ(ThrowSpeed(-17), -1.0f);
    EXPECT_EQ(ThrowSpeed(-40), -2.0f);
    EXPECT_EQ(ThrowSpeed(127), 7.0f);
    EXPECT_EQ(ThrowSpeed(200), 7.0f);
    EXPECT_EQ(ThrowSpeed(-200), -7.0f);
    EXPECT_EQ(ThrowSpeed(INT32_MIN), -7.0f);
}

TEST_F(FrameLoop, HoldingThrowsNothingAndEachReleaseThrowsOneBox) {
    std::vector<size_t> counts;
    for (int32_t f = 2; f <= 13; ++f) {
        script[f] = [&, f] {
            counts.push_back(Bodies().size());
            if (f == 2 || f == 8) InjectMouseButton(1, true);
            if (f == 6 || f == 11) InjectMouseButton(1, false);
        };
    }
    script[1] = [] { InjectMouseMove(600, 150); };
    Run(12);
    // Counts seen before frames 2..13: a box appears in the frames of the releases, 6 and 11.
    const std::vector<size_t> expected = {46, 46, 46, 46, 46, 47, 47, 47, 47, 47, 48, 48};
    EXPECT_EQ(counts, expected);
    const std::vector<PhysicsBody*> b = Bodies();
    ASSERT_EQ(b.size(), 48u);
    EXPECT_EQ(b[46]->ID, 46);
    EXPECT_EQ(b[47]->ID, 47);
}

TEST_F(FrameLoop, PressAndReleaseBetweenTwoFramesThrowNothing) {
    script[1] = [] { InjectMouseMove(600, 150); };
    script[3] = [] {
        InjectMouseButton(1, true);
        InjectMouseButton(1, false);
    };
    Run(6);
    EXPECT_EQ(Bodies().size(), 46u);
}

TEST_F(FrameLoop, EscapeDownBeforeTheFirstFrameDrawsNothing) {
    const Verlet* corner = *state.templateBox->verlets->each<Verlet>().begin();
    EXPECT_EQ(Run(0), 0);
    EXPECT_EQ(probe->presents, 0);
    // No step ran: the template box still stands exactly where the scene put it.
    EXPECT_EQ(corner->pos->x, 100.0f);
    EXPECT_EQ(corner->pos->y, 530.0f);
    EXPECT_EQ(corner->oldpos->y, 530.0f);
    EXPECT_EQ(state.world->CONSTRAINT_ITERATIONS, 5);
}

TEST_F(FrameLoop, EscapeTappedBetweenTwoTestsDoesNotEndTheLoop) {
    script[2] = [] {
        InjectKey(kQuitKey, true);
        InjectKey(kQuitKey, false);
    };
    EXPECT_EQ(Run(4), 4);
    EXPECT_EQ(probe->presents, 4);
    EXPECT_EQ(state.world->CONSTRAINT_ITERATIONS, 5);
}

TEST_F(FrameLoop, CursorCrossSpansFivePixelsEachWayInThePresentedPicture) {
    script[1] = [&] {
        InjectMouseMove(400, 300);
        probe->capture = true;
    };
    Run(1);
    ASSERT_TRUE(probe->captured);
    ASSERT_EQ(probe->width, 800);
    ASSERT_EQ(probe->height, 600);
    auto white = [&](int x, int y) {
        const size_t i = (static_cast<size_t>(y) * 800 + static_cast<size_t>(x)) * 4;
        return probe->rgba[i] == 255 && probe->rgba[i + 1] == 255 && probe->rgba[i + 2] == 255;
    };
    for (int x = 395; x <= 405; ++x) EXPECT_TRUE(white(x, 300)) << "x " << x;
    for (int y = 295; y <= 305; ++y) EXPECT_TRUE(white(400, y)) << "y " << y;
    // Just past the arms' ends lies the box the cursor stands in, which is dark there.
    EXPECT_FALSE(white(394, 300));
    EXPECT_FALSE(white(406, 300));
    EXPECT_FALSE(white(400, 294));
    EXPECT_FALSE(white(400, 306));
    // And the pyramid is there: the floor's top edge spans the window's width.
    EXPECT_TRUE(white(10, 590));
    EXPECT_TRUE(white(400, 590));
}

}  // namespace

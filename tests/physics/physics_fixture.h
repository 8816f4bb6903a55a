#pragma once
// A fresh world per test, with the program-wide registries made anew so that lookups of
// callbacks do not see earlier tests' worlds.

#include <gtest/gtest.h>

#include "physics/body.h"
#include "physics/constraint.h"
#include "physics/verlet.h"
#include "physics/world.h"

template <class Base = ::testing::Test>
class FreshRegistries : public Base {
  protected:
    void SetUp() override {
        WorldList = std::make_shared<TList>();
        FunctionPtrList = std::make_shared<TList>();
    }
    void TearDown() override {
        WorldList.reset();
        FunctionPtrList.reset();
    }
};

class WorldTest : public FreshRegistries<> {
  protected:
    void SetUp() override {
        FreshRegistries::SetUp();
        world = PhysicsWorld::Create(800.0f, 600.0f, 1);
        w = world.get();
    }

    Ref<Verlet> Particle(float x, float y, float vx = 0.0f, float vy = 0.0f, float mass = 1.0f,
                         uint8_t active = 1) {
        return Verlet::Create(w, MakeVect(x, y), MakeVect(vx, vy), mass, active, 0);
    }

    // No gravity, so that a step moves particles by their own velocity only.
    void NoGravity() { w->gravity->set(0.0f, 0.0f); }

    Ref<PhysicsWorld> world;
    PhysicsWorld* w = nullptr;
};

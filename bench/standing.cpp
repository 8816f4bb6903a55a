// Whether stacks stand: the top box's drift from where it was built, for pyramids of 20, 40 and
// 100 rows over 2,000 steps and a straight tower of 15 boxes over 10,000 steps, in the default
// step and in the stable step; with the worst side of any box (how far from its rest length, a
// crushed box shows here) and the processor time a step took.
//
//   standing_check [CASE...]   CASE: pyramid/20, pyramid/40, pyramid/100, tower/15 (all if none),
//                              each optionally followed by :stable or :default (both if neither)

#include <cmath>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "bench/stack_scenes.h"
#include "physics/stable_step.h"

namespace {

struct Case {
    std::string name;
    bool tower;
    int32_t size;
    int32_t steps;
    float limit;  // the largest top drift that counts as standing
};

struct Result {
    float finalDrift = 0.0f;
    float maxDrift = 0.0f;
    float worstSide = 0.0f;
    double cpuMsPerStep = 0.0;
    int32_t steps = 0;
};

float WorstSide(PhysicsWorld& w) {
    float worst = 0.0f;
    for (constraint* c : w.ConstraintList->fast<constraint>()) {
        const float dx = c->v1->pos->x - c->v2->pos->x;
        const float dy = c->v1->pos->y - c->v2->pos->y;
        const float off = std::fabs(std::sqrt(dx * dx + dy * dy) - c->OriginalLength);
        if (!(off <= worst)) worst = off;
    }
    return worst;
}

Result Run(const Case& c, StepMode mode, int32_t steps) {
    bench::Scene s = c.tower ? bench::Tower(c.size) : bench::Pyramid(c.size);
    s.world->stepMode = mode;
    s.top->UpdatePosition();
    const float x0 = s.top->Pos->x;
    const float y0 = s.top->Pos->y;
    Result r;
    r.steps = steps;
    const std::clock_t start = std::clock();
    for (int32_t i = 0; i < steps; ++i) {
        StepWorld(*s.world);
        const float d = std::hypot(s.top->Pos->x - x0, s.top->Pos->y - y0);
        if (!(d <= r.maxDrift)) r.maxDrift = d;
        r.finalDrift = d;
    }
    r.cpuMsPerStep = 1000.0 * static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC / steps;
    r.worstSide = WorstSide(*s.world);
    return r;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<Case> cases = {{"pyramid/20", false, 20, 2000, 5.0f},
                                     {"pyramid/40", false, 40, 2000, 50.0f},
                                     {"pyramid/100", false, 100, 2000, 50.0f},
                                     {"tower/15", true, 15, 10000, 50.0f}};
    std::vector<std::string> wanted(argv + 1, argv + argc);
    if (wanted.empty()) {
        for (const Case& c : cases) wanted.push_back(c.name);
    }
    std::printf("%-12s %-8s %6s %11s %11s %10s %9s %s\n", "case", "mode", "steps", "top drift",
                "max drift", "worst side", "ms/step", "stands");
    for (const std::string& w : wanted) {
        const size_t colon = w.find(':');
        const std::string name = w.substr(0, colon);
        const std::string only = colon == std::string::npos ? "" : w.substr(colon + 1);
        const Case* found = nullptr;
        for (const Case& c : cases) {
            if (c.name == name) found = &c;
        }
        if (found == nullptr || (only != "" && only != "stable" && only != "default")) {
            std::fprintf(stderr, "standing_check: unknown case '%s'\n", w.c_str());
            return 2;
        }
        for (StepMode mode : {StepMode::kDefault, StepMode::kStable}) {
            const bool stable = mode == StepMode::kStable;
            if (only != "" && (only == "stable") != stable) continue;
            // The default step blows the 100-row pyramid apart within a few hundred steps, after
            // which a step takes about a second: it runs 300.
            const int32_t steps = !stable && found->size == 100 ? 300 : found->steps;
            const Result r = Run(*found, mode, steps);
            std::printf("%-12s %-8s %6d %8.2f px %8.2f px %7.2f px %9.3f %s\n", name.c_str(),
                        stable ? "stable" : "default", r.steps, r.finalDrift, r.maxDrift,
                        r.worstSide, r.cpuMsPerStep, r.maxDrift < found->limit ? "yes" : "no");
            std::fflush(stdout);
        }
    }
    return 0;
}

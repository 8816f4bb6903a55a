#include "app/trace.h"

#include "physics/verlet.h"

bool WriteTraceFrame(std::FILE* out, int32_t frame, const PhysicsWorld& world) {
    int32_t i = 0;
    bool ok = true;
    for (Verlet* v : world.VerletList->each<Verlet>()) {
        ok = std::fprintf(out, "%d %d %.9g %.9g\n", frame, i, static_cast<double>(v->pos->x),
                          static_cast<double>(v->pos->y)) > 0 &&
             ok;
        ++i;
    }
    return ok;
}

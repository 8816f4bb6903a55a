// The scene loader under arbitrary bytes: a load either gives a scene or an error message, never
// a crash. A scene that loads builds a world whose saved text loads again, builds the same world
// and saves to the very same text (a file round-trips bit for bit), and the world can be stepped.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/scene_file.h"
#include "fuzz/fuzz_check.h"
#include "physics/body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const SceneLoad load = LoadScene(text, "fuzz.json");
    if (!load.scene) {
        FUZZ_CHECK(!load.error.empty(), "a failed load without a message: " + Escaped(text));
        FUZZ_CHECK(load.error.find('\n') == std::string::npos,
                   "a message of more than one line: " + Escaped(load.error));
        return 0;
    }
    SceneWorld first = BuildSceneWorld(*load.scene);
    const std::string saved = WriteScene(CaptureScene(*first.world, *first.templateBody));
    const SceneLoad again = LoadScene(saved, "saved.json");
    FUZZ_CHECK(again.scene.has_value(), "a saved scene does not load: " + again.error);
    // A saved scene drops unknown fields but keeps risky values (bounce above 1, say): its
    // warnings are the first load's risk warnings, in the same order, and nothing else.
    std::vector<std::string> risks;
    for (const std::string& w : load.warnings) {
        const std::string tail = w.substr(std::string_view("fuzz.json: ").size());
        if (tail.find(": unknown field '") == std::string::npos &&
            tail.find(" more unknown fields") == std::string::npos) {
            risks.push_back("saved.json: " + tail);
        }
    }
    FUZZ_CHECK(again.warnings == risks,
               "a saved scene loads with other warnings: " +
                   (again.warnings.empty() ? std::string("none") : again.warnings.front()));
    SceneWorld second = BuildSceneWorld(*again.scene);
    FUZZ_CHECK(WriteScene(CaptureScene(*second.world, *second.templateBody)) == saved,
               "a scene saved, loaded and saved again gives other text");
    for (int i = 0; i < 3; ++i) {
        first.world->Update();
        PhysicsBody::UpdateAllPositions(first.world.get());
        PhysicsBody::CollideAll(first.world.get());
    }
    WorldList->Remove(first.world.get());
    WorldList->Remove(second.world.get());
    return 0;
}

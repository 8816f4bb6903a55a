// The sandbox: a pyramid of boxes to knock over. Drag and release the left mouse button to throw
// a box, hold Space to print how long each collision pass takes, hold Escape to quit.

#include "app/program.h"
#include "runtime/error.h"

int main() {
    return RunGuarded([] { return RunSandbox(); });
}

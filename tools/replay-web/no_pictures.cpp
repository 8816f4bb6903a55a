// The WebAssembly replay has no PNG library and no picture to read: its command line refuses
// the picture options before a run starts, so these are never reached in a run it accepts.

#include <stdexcept>

#include "tools/replay/png_writer.h"

void WritePng(const std::string& path, const std::vector<uint8_t>&, int32_t, int32_t) {
    throw std::runtime_error("cannot write '" + path + "': replay.js draws no pictures");
}

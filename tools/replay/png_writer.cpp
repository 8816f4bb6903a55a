#include "tools/replay/png_writer.h"

#include <png.h>

#include <csetjmp>
#include <stdexcept>

#include "app/output_file.h"

namespace {

void OnPngWarning(png_structp, png_const_charp) {}

// libpng reports errors by longjmp to the setjmp below; this frame holds nothing with a
// destructor, so the jump skips no clean-up.
bool EncodeRows(png_structp png, png_infop info, std::FILE* out, const uint8_t* rgb, int32_t width,
                int32_t height) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_init_io(png, out);
    png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                 PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    const size_t stride = static_cast<size_t>(width) * 3;
    for (int32_t row = 0; row < height; ++row) {
        png_write_row(png, rgb + stride * static_cast<size_t>(row));
    }
    png_write_end(png, nullptr);
    return true;
}

// Owns the libpng write structures.
class PngEncoder {
  public:
    PngEncoder() {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, OnPngWarning);
        if (png_ != nullptr) info_ = png_create_info_struct(png_);
        if (info_ == nullptr) {
            png_destroy_write_struct(&png_, nullptr);
            throw std::runtime_error("cannot start the PNG encoder");
        }
    }
    ~PngEncoder() { png_destroy_write_struct(&png_, &info_); }
    PngEncoder(const PngEncoder&) = delete;
    PngEncoder& operator=(const PngEncoder&) = delete;

    bool Encode(std::FILE* out, const std::vector<uint8_t>& rgb, int32_t width, int32_t height) {
        return EncodeRows(png_, info_, out, rgb.data(), width, height);
    }

  private:
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
};

}  // namespace

void WritePng(const std::string& path, const std::vector<uint8_t>& rgba, int32_t width,
              int32_t height) {
    if (width <= 0 || height <= 0 ||
        rgba.size() != static_cast<size_t>(width) * static_cast<size_t>(height) * 4) {
        throw std::runtime_error("'" + path + "': the picture has no pixels or the wrong size");
    }
    std::vector<uint8_t> rgb;
    rgb.reserve(rgba.size() / 4 * 3);
    for (size_t i = 0; i < rgba.size(); i += 4) {
        rgb.insert(rgb.end(), {rgba[i], rgba[i + 1], rgba[i + 2]});
    }
    OutputFile file(path);
    if (!PngEncoder().Encode(file.stream(), rgb, width, height)) {
        throw std::runtime_error("cannot encode the PNG picture '" + path + "'");
    }
    file.Commit();
}

// bmp_to_png: converts the 32-bit BMP that `module_host.exe --screenshot`
// writes into a PNG, with cairo. A Linux program: scripts/windows-screenshot
// compiles it directly (g++ and pkg-config cairo), outside the cross build.
//
//   bmp_to_png IN.bmp OUT.png
//
// Reads only what the test host writes: an uncompressed (BI_RGB) 32-bit
// bitmap with a BITMAPINFOHEADER, bottom-up or top-down rows. The fourth
// byte of each pixel is ignored (GDI leaves it undefined); the PNG is
// opaque. Exits 0 on success, 1 with a message on stderr otherwise.
#include <cairo.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

uint32_t Le32(const std::vector<unsigned char>& b, size_t at) {
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

uint16_t Le16(const std::vector<unsigned char>& b, size_t at) {
    return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

int Fail(const std::string& why) {
    std::fprintf(stderr, "bmp_to_png: %s\n", why.c_str());
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return Fail("usage: bmp_to_png IN.bmp OUT.png");
    std::ifstream in(argv[1], std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    // File header (14 bytes) and BITMAPINFOHEADER (40 bytes).
    if (file.size() < 54 || file[0] != 'B' || file[1] != 'M')
        return Fail(std::string(argv[1]) + " is not a BMP file");
    const uint32_t offset = Le32(file, 10);
    const int32_t width = static_cast<int32_t>(Le32(file, 18));
    const int32_t signedHeight = static_cast<int32_t>(Le32(file, 22));
    const uint16_t bitCount = Le16(file, 28);
    const uint32_t compression = Le32(file, 30);
    if (bitCount != 32 || compression != 0)
        return Fail("only uncompressed 32-bit bitmaps are read");
    const bool bottomUp = signedHeight > 0;
    const int32_t height = bottomUp ? signedHeight : -signedHeight;
    if (width <= 0 || height <= 0 || width > 16384 || height > 16384)
        return Fail("implausible size " + std::to_string(width) + " x " +
                    std::to_string(signedHeight));
    const size_t rowBytes = static_cast<size_t>(width) * 4;
    if (file.size() < offset + rowBytes * height)
        return Fail("the pixel data is cut short");

    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS)
        return Fail("cannot create the image");
    cairo_surface_flush(surface);
    unsigned char* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int32_t y = 0; y < height; ++y) {
        const size_t source = offset + rowBytes * (bottomUp ? height - 1 - y : y);
        auto* target = reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(stride) * y);
        for (int32_t x = 0; x < width; ++x) {
            const size_t at = source + static_cast<size_t>(x) * 4;  // blue, green, red, unused
            target[x] =
                (static_cast<uint32_t>(file[at + 2]) << 16) | (file[at + 1] << 8) | file[at];
        }
    }
    cairo_surface_mark_dirty(surface);
    const cairo_status_t status = cairo_surface_write_to_png(surface, argv[2]);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS)
        return Fail(std::string("cannot write ") + argv[2] + ": " + cairo_status_to_string(status));
    return 0;
}

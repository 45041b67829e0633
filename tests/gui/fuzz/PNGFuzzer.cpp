// libFuzzer target for the PNG decoder. Built with clang on request only
// (OSTRAND_FUZZ, see ./dev fuzz). Beyond what the sanitizers catch it checks
// that every failure is one of the decoder's messages, and that a decoded
// image has a size and a transparency flag that agree with its pixels.
#include "gui/Bitmap.h"
#include "gui/MemoryStream.h"
#include "gui/PNGFiler.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    gui::Bitmap bitmap;
    gui::MemoryStream stream({data, size});
    const auto filer = gui::PNGFilerFactory().createFiler(bitmap, stream);
    if (!filer)
        return 0;
    stream.clear();
    stream.seekg(0);
    try {
        filer->read(stream);
    } catch (const gui::EBitmap& e) {
        const char* m = e.what();
        if (std::strcmp(m, "Invalid PNG image") != 0 && std::strcmp(m, "Unsupported PNG format") != 0 &&
            std::strcmp(m, "Invalid PNG signature") != 0)
            __builtin_trap();
        return 0;
    }
    if (bitmap.width() < 1 || bitmap.height() < 1 || bitmap.width() > int(gui::PNGFiler::maximumSide) ||
        bitmap.height() > int(gui::PNGFiler::maximumSide))
        __builtin_trap();
    bool anyTransparent = false;
    for (int y = 0; y < bitmap.height(); ++y)
        for (int x = 0; x < bitmap.width(); ++x)
            anyTransparent = anyTransparent || gui::alphaOf(bitmap.pixelAt(x, y)) < 255;
    if (anyTransparent != bool(bitmap.transparent))
        __builtin_trap();
    return 0;
}

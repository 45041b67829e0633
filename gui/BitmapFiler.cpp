#include "gui/BitmapFiler.h"

#include "gui/Bitmap.h"
#include "gui/MemoryStream.h"
#include "gui/PNGFiler.h"
#include "persistence/Resource.h"

#include <string>
#include <vector>

namespace gui {

namespace {

// Formats in the order they are asked. PNG is placed on first use rather
// than by a static object in its own file, which a static library would
// leave out of a program that never names it.
std::vector<const BitmapFilerFactory*>& factories()
{
    static PNGFilerFactory png;
    static std::vector<const BitmapFilerFactory*> list{&png};
    return list;
}

std::string doubleSizeName(std::string_view name)
{
    const std::size_t dot = name.find('.');
    std::string result(name.substr(0, dot));
    result += "@2x";
    if (dot != std::string_view::npos)
        result += name.substr(dot);
    return result;
}

} // namespace

void BitmapFilerFactory::registerFactory(const BitmapFilerFactory& factory) { factories().push_back(&factory); }

void decodeBitmap(Bitmap& target, std::istream& input)
{
    const std::istream::pos_type start = input.tellg();
    for (const BitmapFilerFactory* factory : factories()) {
        input.clear();
        input.seekg(start);
        if (std::unique_ptr<BitmapFiler> filer = factory->createFiler(target, input)) {
            input.clear();
            input.seekg(start);
            filer->read(input);
            return;
        }
    }
    throw EBitmap("Unknown file format");
}

void loadBitmap(Bitmap& target, std::string_view name)
{
    MemoryStream stream(loadResource(name));
    decodeBitmap(target, stream);
    if (auto twice = findResource(doubleSizeName(name))) {
        auto large = std::make_unique<Bitmap>();
        MemoryStream twiceStream(*twice);
        decodeBitmap(*large, twiceStream);
        target.setDoubleSize(std::move(large));
    } else {
        target.setDoubleSize(nullptr);
    }
}

std::unique_ptr<Bitmap> loadBitmap(std::string_view name)
{
    auto bitmap = std::make_unique<Bitmap>();
    loadBitmap(*bitmap, name);
    return bitmap;
}

} // namespace gui

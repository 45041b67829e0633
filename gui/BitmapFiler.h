#pragma once

#include <istream>
#include <memory>
#include <string_view>

namespace gui {

class Bitmap;

// A decoder of one image file format, bound to the bitmap it fills.
class BitmapFiler {
public:
    explicit BitmapFiler(Bitmap& target) : bitmap(target) {}
    virtual ~BitmapFiler() = default;
    BitmapFiler(const BitmapFiler&) = delete;
    BitmapFiler& operator=(const BitmapFiler&) = delete;

    // Decodes the whole image from the stream into the bitmap; throws EBitmap
    // when the data is not a valid image of this format.
    virtual void read(std::istream& input) = 0;

protected:
    Bitmap& bitmap;
};

// Recognises one format: given a stream at the start of an image, returns a
// decoder for it when the stream starts with that format's signature.
class BitmapFilerFactory {
public:
    virtual ~BitmapFilerFactory() = default;
    virtual std::unique_ptr<BitmapFiler> createFiler(Bitmap& target, std::istream& input) const = 0;

    // Adds a format behind those already known (PNG is always the first).
    // The factory must live as long as the process.
    static void registerFactory(const BitmapFilerFactory& factory);
};

// Decodes the image at the stream's position with the first format that
// recognises it; EBitmap("Unknown file format") when none does.
void decodeBitmap(Bitmap& target, std::istream& input);

// Loads a module image by name ("Background.png"). When the module also holds
// a double-size version of it (name@2x, "Background@2x.png"), that is loaded
// as the bitmap's doubleSize(). A missing image throws EResource.
void loadBitmap(Bitmap& target, std::string_view name);
std::unique_ptr<Bitmap> loadBitmap(std::string_view name);

} // namespace gui

#pragma once

#include "framework/Property.h"
#include "gui/Canvas.h"
#include "gui/Pixel.h"
#include "gui/UpdatedObject.h"

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <string>

namespace gui {

// What loading or decoding an image throws.
class EBitmap : public std::runtime_error {
public:
    explicit EBitmap(const std::string& message) : std::runtime_error(message) {}
};

// A 32-bit image in memory: width x height pixels, rows top to bottom
// without padding. Images loaded from the module may carry a twice-as-large
// version of themselves for screens drawn at scale 2.
class Bitmap : public UpdatedObject, public Canvas::Owner, private PropertyOwner {
public:
    Bitmap() = default;
    Bitmap(int width, int height);
    ~Bitmap() override;
    Bitmap(const Bitmap&) = delete;
    Bitmap& operator=(const Bitmap&) = delete;

    int width() const { return w; }
    int height() const { return h; }
    bool empty() const { return w <= 0 || h <= 0; }

    // Makes the buffer width x height pixels; the old pixels are gone (all
    // pixels are 0 afterwards). Nothing happens when the size is unchanged.
    void resize(int width, int height);

    // Turns a pixel given with R in the lowest byte, then G, B and A into
    // the stored form.
    virtual Pixel convertPixel(std::uint32_t rgbaLowFirst) const;

    // Stores one row given as pixels with R in the lowest byte; each goes
    // through convertPixel. Rows outside the bitmap are ignored.
    void setRow(int y, std::span<const std::uint32_t> rgbaRow);

    // True when at least one pixel has alpha below 255. Decoders set it;
    // the canvas blends over a bitmap only while it is not transparent.
    Property<bool> transparent{this, false};

    Pixel* row(int y) { return pixels.get() + static_cast<std::size_t>(y) * w; }
    const Pixel* row(int y) const { return pixels.get() + static_cast<std::size_t>(y) * w; }
    Pixel pixelAt(int x, int y) const { return readPixel(x, y); }

    // The version of this image with twice the pixels in each direction,
    // used when drawing at scale 2; none for most bitmaps.
    const Bitmap* doubleSize() const { return twice.get(); }
    void setDoubleSize(std::unique_ptr<Bitmap> version) { twice = std::move(version); }

    // Canvas::Owner
    int canvasWidth() const override { return w; }
    int canvasHeight() const override { return h; }
    Pixel* canvasRow(int y) override { return row(y); }
    Pixel readPixel(int x, int y) const override;
    void writePixel(int x, int y, Pixel p) override;
    void canvasChanged(const Rect& area) override { invalidate(area); }

private:
    void propertyChanged(PropertyBase&) override {}
    void allocate();

    int w = 0;
    int h = 0;
    struct Free {
        void operator()(Pixel* p) const;
    };
    std::unique_ptr<Pixel[], Free> pixels;
    std::unique_ptr<Bitmap> twice;
};

} // namespace gui

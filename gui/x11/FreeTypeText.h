#pragma once

#include "gui/Text.h"

#include <memory>
#include <string>
#include <utility>

namespace gui {

// Text drawn with FreeType in a face that fontconfig picks for the font's
// family name, weight and slant ("Tahoma" falls back to the desktop's sans
// face, DejaVu Sans on Debian). Faces and rendered glyphs are shared by every
// text of the process with the same font and pixel size; the cache is
// guarded, so texts may live in editors on different threads.
class FreeTypeText : public Text {
public:
    FreeTypeText();
    ~FreeTypeText() override;

    int ascent(int scale) override;
    int descent(int scale) override;
    int measure(std::string_view utf8, int scale) override;
    void draw(Canvas& canvas, std::string_view utf8, int x, int baselineY, Pixel colour) override;

    // The font file fontconfig chose for this text's font (empty when none
    // could be found, in which case nothing is drawn).
    std::string fontFile();

    struct Face;

protected:
    void fontChanged() override;

private:
    std::pair<std::string, int> fontMatch();
    std::shared_ptr<Face> faceFor(int scale);

    std::shared_ptr<Face> faces[2];
};

} // namespace gui

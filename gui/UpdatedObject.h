#pragma once

#include "gui/Geometry.h"

namespace gui {

// Something that collects the area of itself that has to be redrawn, until
// whoever draws it takes the area away.
class UpdatedObject {
public:
    virtual ~UpdatedObject() = default;

    // Adds `area` to the dirtyArea rectangle.
    virtual void invalidate(const Rect& area) { dirtyArea = dirtyArea.unite(area); }

    const Rect& dirtyRect() const { return dirtyArea; }
    bool isDirty() const { return !dirtyArea.empty(); }

    // Returns the dirtyArea rectangle and forgets it.
    Rect takeDirtyRect()
    {
        Rect r = dirtyArea;
        dirtyArea = {};
        return r;
    }

private:
    Rect dirtyArea;
};

} // namespace gui

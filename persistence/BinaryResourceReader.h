#pragma once

#include "persistence/BinaryDataReader.h"

// A reader over a copy of a resource compiled into the module (see
// Resource.h for how names are matched). Throws EResource when there is no
// resource of that name.
class BinaryResourceReader : public BinaryDataReader {
public:
    explicit BinaryResourceReader(const std::string& name);
};

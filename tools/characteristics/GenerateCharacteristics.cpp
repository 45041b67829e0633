// Writes the factory characteristic tables (One.fil ... EasyGoing.fil) into
// the folder named on the command line.
#include "CharacteristicDesigns.h"

#include <cstdio>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    for (const CharacteristicDesign& design : factoryCharacteristicDesigns()) {
        const std::string path = folder + "/" + design.fileName;
        const std::vector<std::uint8_t> bytes = encodeCharacteristic(design);
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
        std::printf("%s (%zu bytes)\n", path.c_str(), bytes.size());
    }
    return 0;
}

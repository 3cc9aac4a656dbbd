// Writes the JPEG fuzzer's seeds into the folder named on the command line.
#include "tests/fuzz/jpeg_seeds.h"

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    for (const auto& [name, bytes] : JpegSeeds()) {
        const std::string path = folder + "/" + name + ".jpg";
        FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(bytes.data(), 1, bytes.size(), file) != bytes.size() || std::fclose(file) != 0) {
            std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
            return 1;
        }
    }
    return 0;
}

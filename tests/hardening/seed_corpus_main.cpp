// Writes the seed corpus of the fuzz targets: vrel_seed_corpus <corpus dir>
// creates <corpus dir>/<target>/<name> for every seed.
#include "seed_corpus.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path root = argv[1];
    int written = 0;
    for (const vrel::test::SeedFile& seed : vrel::test::seedCorpus()) {
        const std::filesystem::path dir = root / seed.target;
        std::filesystem::create_directories(dir);
        std::ofstream out(dir / seed.name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(seed.bytes.data()),
                  static_cast<std::streamsize>(seed.bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", (dir / seed.name).c_str());
            return 1;
        }
        ++written;
    }
    std::printf("%d seed files written under %s\n", written, root.c_str());
    return 0;
}

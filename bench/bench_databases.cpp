#include "bench_databases.h"

#include "common/database_name.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>
#include <vrel/dbwriter.h>

namespace vrel::bench {

namespace db = vrel::dbwriter;

namespace {

constexpr uint16_t kLutChunk = 0x200;
constexpr uint16_t kCorrectionChunks[3] = {0x101, 0x102, 0x103};
constexpr int kLayout = 1;

uint8_t clampByte(double v) {
    return static_cast<uint8_t>(std::lround(std::clamp(v, 0.0, 255.0)));
}

// A mild correction: a touch of extra saturation around the pixel's mean and
// a slight lift of the mid-tones.
db::Bytes correctionGrid() {
    return db::makeGrid(db::defaultNodes(), 3, [](uint8_t r, uint8_t g, uint8_t b) {
        const double mean = (r + g + b) / 3.0;
        db::Bytes out;
        for (const double v : {double(r), double(g), double(b)}) {
            const double saturated = v + 0.12 * (v - mean);
            out.push_back(
                clampByte(255.0 * std::pow(std::clamp(saturated, 0.0, 255.0) / 255.0, 0.93)));
        }
        return out;
    });
}

ParamRecord paramsFor(uint16_t profileNumber, const std::string& database,
                      const std::string& directory) {
    ParamRecord p;
    std::memset(&p, 0, sizeof p);
    p.profileNumber = profileNumber;
    p.keyField14 = 0x123;
    p.keyField16 = 1;
    p.keyField94 = 0x15;
    p.keyField104 = 0x11;
    vrel::tools::nameDatabase(p, database, directory);
    return p;
}

db::ProfileEntry entryFor(const ParamRecord& params, int method) {
    db::ProfileEntry e;
    e.key = db::profileKey(params, kLayout);
    e.tableIds = {kCorrectionChunks[0], kCorrectionChunks[1], kCorrectionChunks[2]};
    e.lutChunk = kLutChunk;
    e.descriptors = db::descriptorsForChannels(method);
    e.name1 = db::makeName("Bench plain paper");
    e.name2 = db::makeName("Bench standard");
    e.searchKey = 0x11223344;
    e.setProfileValue(0x00010002);
    return e;
}

// A database holding the profile of one method plus a few other profiles'
// entries (as a real database lists several media), and its tables.
db::Database databaseFor(const ParamRecord& params, int method, std::vector<uint8_t>* grid) {
    db::Database d;
    db::ProfileIndex index;
    index.layoutWord = db::makeLayoutWord(kLayout, 0);
    index.entryLayout = kLayout;
    for (uint32_t other = 1; other <= 3; ++other) {
        db::ProfileEntry decoy = entryFor(params, method);
        decoy.key ^= other << 9;
        index.entries.push_back(decoy);
    }
    index.entries.push_back(entryFor(params, method));
    d.addProfileIndex(params.profileNumber, std::move(index));
    *grid = db::makeGrid(db::defaultNodes(), method, [method](uint8_t v0, uint8_t v1, uint8_t v2) {
        return smoothInks(method, v0, v1, v2);
    });
    d.addColourTable(kLutChunk, db::tableType0(*grid));
    const db::Bytes correction = correctionGrid();
    for (const uint16_t id : kCorrectionChunks) {
        d.addColourTable(id, db::tableType0(correction));
    }
    return d;
}

[[noreturn]] void fail(const std::string& what) {
    std::fprintf(stderr, "vrel_bench: %s\n", what.c_str());
    std::exit(2);
}

} // namespace

std::vector<uint8_t> smoothInks(int inks, uint8_t v0, uint8_t v1, uint8_t v2) {
    const double c = 255.0 - v0, m = 255.0 - v1, y = 255.0 - v2;
    const double grey = std::min({c, m, y});
    // Under-colour removal starting at a quarter of full grey.
    const double k = grey <= 64.0 ? 0.0 : (grey - 64.0) * 255.0 / 191.0;
    const double removed = 0.7 * k;
    double cyan = c - removed, magenta = m - removed, yellow = y - removed;
    std::vector<uint8_t> out;
    if (inks == 4) {
        out = {clampByte(cyan), clampByte(magenta), clampByte(yellow), clampByte(k)};
        return out;
    }
    // Light cyan and light magenta carry the pale end and hand over to the
    // dark inks above mid-tone.
    const double lightCyan =
        cyan < 128.0 ? 1.6 * cyan : std::max(0.0, 204.8 - 1.2 * (cyan - 128.0));
    const double lightMagenta =
        magenta < 128.0 ? 1.6 * magenta : std::max(0.0, 204.8 - 1.2 * (magenta - 128.0));
    cyan = cyan < 96.0 ? 0.0 : (cyan - 96.0) * 255.0 / 159.0;
    magenta = magenta < 96.0 ? 0.0 : (magenta - 96.0) * 255.0 / 159.0;
    out = {clampByte(cyan), clampByte(magenta),   clampByte(yellow),
           clampByte(k),    clampByte(lightCyan), clampByte(lightMagenta)};
    if (inks == 7) {
        out.push_back(
            clampByte(grey < 32.0 ? grey * 2.0 : std::max(0.0, 64.0 - (grey - 32.0) / 3.5)));
    }
    return out;
}

BenchDatabases::BenchDatabases() {
    const std::string pattern =
        (std::filesystem::temp_directory_path() / "vrel-bench-XXXXXX").string();
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (::mkdtemp(buffer.data()) == nullptr) {
        fail("cannot create a temporary directory");
    }
    dir_ = buffer.data();
    dirText_ = dir_.string();
    const struct {
        int method;
        ParamRecord* params;
        const char* file;
    } profiles[] = {
        {4, &params4_, "four.db"}, {6, &params6_, "six.db"}, {7, &params7_, "seven.db"}};
    for (const auto& p : profiles) {
        *p.params = paramsFor(static_cast<uint16_t>(10 + p.method), p.file, dirText_);
        std::vector<uint8_t> grid;
        const db::Database d = databaseFor(*p.params, p.method, &grid);
        std::string error;
        if (!db::writeDatabaseFile(dir_ / p.file, d, &error)) {
            fail("cannot write " + std::string(p.file) + ": " + error);
        }
        if (p.method == 4) {
            fourInkGrid_ = grid;
        }
    }
}

BenchDatabases::~BenchDatabases() {
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

const ParamRecord& BenchDatabases::params(int method) const {
    return method == 6 ? params6_ : method == 7 ? params7_ : params4_;
}

const BenchDatabases& databases() {
    static const BenchDatabases instance;
    return instance;
}

EngineContext* openContext(int method) {
    EngineContext* context = nullptr;
    const VrelResult result = VrelInit(&context, &databases().params(method));
    if (result < 0 || context == nullptr) {
        fail("VrelInit refused the benchmark profile of method " + std::to_string(method) +
             " (result " + std::to_string(result) + ")");
    }
    return context;
}

} // namespace vrel::bench

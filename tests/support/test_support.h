// The test fixture module shared by every test and fuzz target: temporary
// directories, database files written by the project's writer, the sample
// databases and the standard parameter records that open them, contexts
// that close themselves, and buffers of exactly the size a call may touch.
//
//   SampleFile file(makeSampleDatabase(recipeForMethod(6)));
//   OpenContext context(file.params(1));    // VrelInit with standard record 1
//
// Nothing here uses the test framework, so the fuzz targets build it too;
// a file that cannot be written throws std::runtime_error.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>
#include <vrel/dbwriter.h>
#include <vrel/vrel.h>

namespace vrel::test {

// A fresh directory under the system's temporary directory, removed with
// everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Lives as long as the directory: fit for ParamRecord::directoryName.
    const std::string& str() const { return text_; }
    const char* c_str() const { return text_.c_str(); }
    std::filesystem::path file(std::string_view name) const { return path_ / std::string(name); }

  private:
    std::filesystem::path path_;
    std::string text_;
};

std::filesystem::path writeBytesFile(const std::filesystem::path& dir, std::string_view name,
                                     std::span<const uint8_t> bytes);
std::filesystem::path writeDatabaseFile(const std::filesystem::path& dir, std::string_view name,
                                        const dbwriter::Database& db);

// A ParamRecord set field by field; every field not set is zero.
class ParamBuilder {
  public:
    ParamBuilder() { std::memset(&record_, 0, sizeof record_); }
    // Copies at most the field's 20 bytes, so a name that fills it has no NUL.
    ParamBuilder& database(std::string_view name) {
        std::memset(record_.databaseName, 0, sizeof record_.databaseName);
        std::memcpy(record_.databaseName, name.data(),
                    std::min(name.size(), sizeof record_.databaseName));
        return *this;
    }
    // The pointer is stored as is: the caller keeps the string alive. (The
    // record is packed: its fields are assigned, never bound to references.)
    ParamBuilder& directory(const char* dir) { return record_.directoryName = dir, *this; }
    ParamBuilder& profileNumber(uint16_t v) { return record_.profileNumber = v, *this; }
    ParamBuilder& keyField94(uint16_t v) { return record_.keyField94 = v, *this; }
    ParamBuilder& adjustSwitch(uint16_t v) { return record_.adjustSwitch = v, *this; }
    ParamBuilder& tableSelector(uint16_t v) { return record_.tableSelector = v, *this; }
    ParamBuilder& density(int16_t v) { return record_.density = v, *this; }
    ParamBuilder& balance(int16_t cyan, int16_t magenta, int16_t yellow, int16_t black) {
        record_.balance[0] = cyan, record_.balance[1] = magenta;
        record_.balance[2] = yellow, record_.balance[3] = black;
        return *this;
    }
    operator const ParamRecord&() const { return record_; }

  private:
    ParamRecord record_;
};

// An engine context opened with VrelInit and closed with VrelClose.
class OpenContext {
  public:
    explicit OpenContext(const ParamRecord& params) { result_ = VrelInit(&context_, &params); }
    ~OpenContext() {
        if (context_ != nullptr) {
            VrelClose(context_);
        }
    }
    OpenContext(const OpenContext&) = delete;
    OpenContext& operator=(const OpenContext&) = delete;

    VrelResult result() const { return result_; }
    EngineContext* get() const { return context_; }
    EngineContext** slot() { return &context_; }
    explicit operator bool() const { return context_ != nullptr; }

  private:
    EngineContext* context_ = nullptr;
    VrelResult result_ = 0;
};

// How a colour-table chunk of a sample database is written.
enum class TableForm : uint8_t {
    Unmarked, // no mark: the whole chunk is table data on the default grid
    Type0,    // mark, header type 0, default grid
    Type1,    // mark, header type 1 with its own node positions
    Type2,    // mark, header type 2 with five node sets (group 1 only)
};

// Chunk ids used by every sample database.
inline constexpr uint16_t kCorrectionChunkIds[3] = {0x10, 0x11, 0x12}; // tableIds[0..2]
inline constexpr uint16_t kConversionChunkId = 0x20;

struct SampleRecipe {
    int layout = 1;            // 0, 1 or 2
    int channels = 4;          // channel count of the profile (0..8)
    bool fourWithE256 = false; // four present channels that count as three
    uint32_t recordFlags = 0;  // noBlackBalance, extension, grey mode (not layout 0)
    bool correction = true;    // false: tableIds are 0, no group-1 table
    TableForm correctionForm = TableForm::Type1;
    int correctionPoints = 5;
    TableForm conversionForm = TableForm::Type1;
    int conversionPoints = 5;
    // Type 1: these node positions (0 first, 255 last, rising) instead of
    // conversionPoints evenly spaced ones.
    std::vector<uint8_t> conversionNodes{};
    bool sharedDirectory = false;
    // Selector 3 lays a type-1 correction table on the default grid: only
    // with this set does the third table carry the 17-point grid it needs
    // (otherwise it is as small as the others and selector 3 fails to load).
    bool fullThirdTable = false;
    uint32_t seed = 1; // grid contents
};

// A valid database for the recipe: profile index record 1000 keyed for the
// standard records 0 to 2 and record 1007 keyed for standard record 3, the
// correction tables 0x10..0x12, the conversion table 0x20 and, when the
// flags ask for it, the extension chunks 0x640..0x642.
dbwriter::Database makeSampleDatabase(const SampleRecipe& recipe);

// A recipe for a context of the given conversion method (1, 3, 4, 6, 7).
SampleRecipe recipeForMethod(int method);

// The parameter records every test and harness uses:
//   0  plain: selector 0, no adjustments
//   1  adjustments on: selector 2, input kind 10, balance and density
//   2  selector 3, input kind 22, three-channel output forced
//   3  another profile, found by a key with every field in use
// The directory pointer must outlive the record's use.
inline constexpr int kStandardParamCount = 4;
ParamRecord standardParams(int index, const char* directory, const char* databaseName);

// A database written into a directory of its own.
class SampleFile {
  public:
    explicit SampleFile(const dbwriter::Database& db, std::string name = "sample.db")
        : name_(std::move(name)), path_(writeDatabaseFile(dir_.path(), name_, db)) {}
    ParamRecord params(int index) const {
        return standardParams(index, dir_.c_str(), name_.c_str());
    }
    const TempDir& dir() const { return dir_; }
    const std::filesystem::path& path() const { return path_; }

  private:
    TempDir dir_;
    std::string name_;
    std::filesystem::path path_;
};

// A heap buffer of exactly the requested size (zero bytes included), filled
// with a guard byte, so that AddressSanitizer reports the first byte read or
// written past its end and a test sees every byte a call should have left.
class ExactBuffer {
  public:
    explicit ExactBuffer(size_t size, uint8_t fill = 0) : bytes_(new uint8_t[size]), size_(size) {
        if (size != 0) {
            std::memset(bytes_.get(), fill, size);
        }
    }
    // A copy of `source`, cut or padded (with `fill`) to size.
    ExactBuffer(size_t size, const uint8_t* source, size_t sourceSize, uint8_t fill = 0)
        : ExactBuffer(size, fill) {
        if (size != 0 && sourceSize != 0) {
            std::memcpy(bytes_.get(), source, sourceSize < size ? sourceSize : size);
        }
    }

    uint8_t* data() { return bytes_.get(); }
    const uint8_t* data() const { return bytes_.get(); }
    size_t size() const { return size_; }
    std::vector<uint8_t> bytes() const { return {bytes_.get(), bytes_.get() + size_}; }
    void appendTo(std::vector<uint8_t>& digest) const {
        digest.insert(digest.end(), bytes_.get(), bytes_.get() + size_);
    }

  private:
    std::unique_ptr<uint8_t[]> bytes_;
    size_t size_;
};

} // namespace vrel::test

// Shared helpers of the test suite: a temporary directory that removes
// itself, database files written from a dbwriter description, a ParamRecord
// builder and an engine context that closes itself.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>

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
    // The path as a string that lives as long as the directory: suitable for
    // ParamRecord::directoryName.
    const std::string& str() const { return text_; }
    const char* c_str() const { return text_.c_str(); }
    std::filesystem::path file(std::string_view name) const { return path_ / std::string(name); }

private:
    std::filesystem::path path_;
    std::string text_;
};

// Writes the database image as dir/name; fails the current test (and returns
// the path anyway) when the file cannot be written.
std::filesystem::path writeDatabaseFile(const std::filesystem::path& dir, std::string_view name,
                                        const dbwriter::Database& db);
std::filesystem::path writeBytesFile(const std::filesystem::path& dir, std::string_view name,
                                     std::span<const uint8_t> bytes);

// Builds a ParamRecord field by field; every field not set is zero.
class ParamBuilder {
public:
    ParamBuilder();

    ParamBuilder& profileNumber(uint16_t v);
    ParamBuilder& recordWord(int index, uint16_t v); // words 0..12 at offsets 0..25 (1 = profileNumber)
    ParamBuilder& keyField14(uint16_t v);
    ParamBuilder& keyField16(uint16_t v);
    ParamBuilder& keyField94(uint16_t v);
    ParamBuilder& keyField104(uint16_t v);
    ParamBuilder& keyField106(uint16_t v);
    ParamBuilder& keyField108(uint16_t v);
    // All key fields at once (layouts 0 and 1 ignore 106 and 108).
    ParamBuilder& keyFields(uint16_t f14, uint16_t f16, uint16_t f94, uint16_t f104, uint16_t f106 = 0,
                            uint16_t f108 = 0);
    // Copies at most 20 bytes; the rest of the field is zero.
    ParamBuilder& database(std::string_view name);
    // The pointer is stored as is: the caller keeps the string alive (see TempDir::c_str).
    ParamBuilder& directory(const char* dir);
    ParamBuilder& adjustSwitch(uint16_t v);
    ParamBuilder& tableSelector(uint16_t v);
    ParamBuilder& inputKind(uint16_t v);
    ParamBuilder& paramWord54(uint16_t v);
    ParamBuilder& balance(int16_t cyan, int16_t magenta, int16_t yellow, int16_t black);
    ParamBuilder& density(int16_t v);
    ParamBuilder& methodOverride(uint16_t v);
    ParamBuilder& paramWord134(uint32_t v);

    const ParamRecord& build() const { return record_; }
    operator const ParamRecord&() const { return record_; }

private:
    ParamRecord record_;
};

// An engine context opened with VrelInit and closed with VrelClose.
class OpenContext {
public:
    explicit OpenContext(const ParamRecord& params);
    ~OpenContext();
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

} // namespace vrel::test

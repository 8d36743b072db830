// Reading a JSON description with errors that name the JSON path of the
// offending field (e.g. "/profiles/0/layout: must be 0, 1 or 2").
//
// A JsonNode is a view of one value and its path. Objects are read field by
// field; finish() then refuses any field that was not read, so that a typo
// in a field name is an error rather than a silently ignored setting.
// A "comment" field is allowed in every object and ignored.
#pragma once

#include <cstdint>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace vrel::cli {

class JsonNode {
  public:
    JsonNode(const nlohmann::json& value, std::string path);

    const std::string& path() const { return path_; }
    const nlohmann::json& value() const { return *value_; }
    [[noreturn]] void fail(const std::string& message) const;

    bool isObject() const { return value_->is_object(); }
    bool isArray() const { return value_->is_array(); }
    bool isString() const { return value_->is_string(); }
    bool has(const std::string& key) const;

    // Object access: required and optional fields (marks them as read).
    JsonNode field(const std::string& key) const;
    std::optional<JsonNode> optionalField(const std::string& key) const;
    // Refuses fields of this object that were never read.
    void finish() const;

    std::vector<JsonNode> elements() const; // array elements
    std::size_t size() const;

    // Integers may be written as numbers or as strings ("0x1f", "31").
    int64_t integer(int64_t min, int64_t max) const;
    double number(double min, double max) const;
    bool boolean() const;
    std::string string() const;
    // Hex string (spaces allowed) or array of byte values.
    std::vector<uint8_t> bytes() const;

    // Shorthands for optional fields with defaults.
    int64_t integerOr(const std::string& key, int64_t fallback, int64_t min, int64_t max) const;
    double numberOr(const std::string& key, double fallback, double min, double max) const;
    bool booleanOr(const std::string& key, bool fallback) const;
    std::string stringOr(const std::string& key, const std::string& fallback) const;

  private:
    const nlohmann::json* value_;
    std::string path_;
    std::shared_ptr<std::set<std::string>> read_;
};

// Parses a JSON file; syntax errors and numbers out of range name the file,
// the JSON path of the value being read, the line and column.
nlohmann::json loadJsonFile(const std::string& path);

// Text from a file, made fit for a one-line message: control characters
// become '?', and text longer than `limit` bytes is cut at a character
// boundary and marked with its full length.
std::string clipped(const std::string& text, std::size_t limit = 48);

// Hex text of bytes, lower case, no separators.
std::string toHex(const uint8_t* data, std::size_t size);
std::string hexNumber(uint64_t value, int digits);

} // namespace vrel::cli

#include "json_reader.h"

#include "cli_error.h"
#include "files/input_file.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fmt/format.h>
#include <fmt/ranges.h>
#include <fstream>

namespace vrel::cli {

JsonNode::JsonNode(const nlohmann::json& value, std::string path)
    : value_(&value), path_(std::move(path)), read_(std::make_shared<std::set<std::string>>()) {}

namespace {

// A message quotes values and names from the file; this keeps it readable.
constexpr std::size_t kMessageLimit = 240;

} // namespace

std::string clipped(const std::string& text, std::size_t limit) {
    std::size_t cut = text.size();
    if (cut > limit) {
        cut = limit;
        // Back up to the start of a UTF-8 character.
        while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xc0) == 0x80)
            --cut;
    }
    std::string out = text.substr(0, cut);
    for (auto& c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            c = '?';
    if (cut < text.size())
        out += fmt::format("... ({} bytes)", text.size());
    return out;
}

void JsonNode::fail(const std::string& message) const {
    throw CliError(
        clipped((path_.empty() ? std::string("/") : path_) + ": " + message, kMessageLimit));
}

bool JsonNode::has(const std::string& key) const {
    return value_->is_object() && value_->contains(key);
}

JsonNode JsonNode::field(const std::string& key) const {
    if (!value_->is_object())
        fail("must be an object");
    const auto it = value_->find(key);
    if (it == value_->end())
        fail("missing field '" + key + "'");
    read_->insert(key);
    return JsonNode(*it, path_ + "/" + key);
}

std::optional<JsonNode> JsonNode::optionalField(const std::string& key) const {
    if (!value_->is_object())
        fail("must be an object");
    const auto it = value_->find(key);
    if (it == value_->end())
        return std::nullopt;
    read_->insert(key);
    return JsonNode(*it, path_ + "/" + key);
}

void JsonNode::finish() const {
    if (!value_->is_object())
        return;
    for (const auto& item : value_->items())
        if (!read_->count(item.key()) && item.key() != "comment")
            throw CliError(path_ + "/" + clipped(item.key()) + ": unknown field");
}

std::vector<JsonNode> JsonNode::elements() const {
    if (!value_->is_array())
        fail("must be an array");
    std::vector<JsonNode> out;
    for (std::size_t i = 0; i < value_->size(); ++i)
        out.emplace_back((*value_)[i], fmt::format("{}/{}", path_, i));
    return out;
}

std::size_t JsonNode::size() const {
    return value_->is_array() ? value_->size() : 0;
}

int64_t JsonNode::integer(int64_t min, int64_t max) const {
    int64_t v = 0;
    const auto range = fmt::format(" ({} to {})", min, max);
    if (value_->is_number_integer()) {
        if (value_->is_number_unsigned() && value_->get<uint64_t>() > INT64_MAX)
            fail("must be an integer" + range);
        v = value_->get<int64_t>();
    } else if (value_->is_string()) {
        const auto text = value_->get<std::string>();
        errno = 0;
        char* end = nullptr;
        const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
        v = std::strtoll(text.c_str(), &end, hex ? 16 : 10);
        if (text.empty() || errno != 0 || *end != '\0')
            fail("must be an integer" + range + ", not \"" + clipped(text) + "\"");
    } else {
        fail("must be an integer" + range);
    }
    if (v < min || v > max)
        fail(fmt::format("must be between {} and {}, not {}", min, max, v));
    return v;
}

double JsonNode::number(double min, double max) const {
    if (!value_->is_number())
        fail("must be a number");
    const double v = value_->get<double>();
    if (!std::isfinite(v) || v < min || v > max)
        fail(fmt::format("must be between {:g} and {:g}, not {:g}", min, max, v));
    return v;
}

bool JsonNode::boolean() const {
    if (!value_->is_boolean())
        fail("must be true or false");
    return value_->get<bool>();
}

std::string JsonNode::string() const {
    if (!value_->is_string())
        fail("must be a string");
    return value_->get<std::string>();
}

std::vector<uint8_t> JsonNode::bytes() const {
    std::vector<uint8_t> out;
    if (value_->is_array()) {
        for (const auto& element : elements())
            out.push_back(static_cast<uint8_t>(element.integer(0, 255)));
        return out;
    }
    if (!value_->is_string())
        fail("must be a hex string or an array of byte values");
    const auto& text = value_->get_ref<const std::string&>();
    int pending = -1;
    for (char ch : text) {
        if (ch == ' ' || ch == '\n' || ch == '\t')
            continue;
        int digit = -1;
        if (ch >= '0' && ch <= '9')
            digit = ch - '0';
        else if (ch >= 'a' && ch <= 'f')
            digit = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F')
            digit = ch - 'A' + 10;
        if (digit < 0)
            fail("not a hex digit: '" + clipped(std::string(1, ch)) + "'");
        if (pending < 0) {
            pending = digit;
        } else {
            out.push_back(static_cast<uint8_t>(pending * 16 + digit));
            pending = -1;
        }
    }
    if (pending >= 0)
        fail("odd number of hex digits");
    return out;
}

int64_t JsonNode::integerOr(const std::string& key, int64_t fallback, int64_t min,
                            int64_t max) const {
    const auto f = optionalField(key);
    return f ? f->integer(min, max) : fallback;
}

double JsonNode::numberOr(const std::string& key, double fallback, double min, double max) const {
    const auto f = optionalField(key);
    return f ? f->number(min, max) : fallback;
}

bool JsonNode::booleanOr(const std::string& key, bool fallback) const {
    const auto f = optionalField(key);
    return f ? f->boolean() : fallback;
}

std::string JsonNode::stringOr(const std::string& key, const std::string& fallback) const {
    const auto f = optionalField(key);
    return f ? f->string() : fallback;
}

namespace {

// Follows the parser through the document, so that an error names the JSON
// path of the value being read ("/profiles/0/entries/3/value").
class PathTracker {
  public:
    void see(nlohmann::json::parse_event_t event, const nlohmann::json& parsed) {
        using Event = nlohmann::json::parse_event_t;
        switch (event) {
        case Event::object_start:
            frames_.push_back({false, 0, {}});
            break;
        case Event::array_start:
            frames_.push_back({true, 0, {}});
            break;
        case Event::key:
            if (!frames_.empty() && parsed.is_string())
                frames_.back().key = clipped(parsed.get_ref<const std::string&>());
            break;
        case Event::object_end:
        case Event::array_end:
            if (!frames_.empty())
                frames_.pop_back();
            elementDone();
            break;
        case Event::value:
            elementDone();
            break;
        }
    }
    std::string path() const {
        std::string out;
        for (const auto& f : frames_)
            out += f.array ? fmt::format("/{}", f.index) : "/" + f.key;
        return out.empty() ? "/" : out;
    }

  private:
    struct Frame {
        bool array;
        std::size_t index;
        std::string key;
    };
    std::vector<Frame> frames_;
    void elementDone() {
        if (!frames_.empty() && frames_.back().array)
            ++frames_.back().index;
    }
};

// The library's message without its "[json.exception.xxx.nnn] " prefix.
std::string libraryMessage(const nlohmann::json::exception& e) {
    std::string what = e.what();
    const auto prefix = what.find("] ");
    if (what.rfind("[json.exception.", 0) == 0 && prefix != std::string::npos)
        what.erase(0, prefix + 2);
    return what;
}

} // namespace

nlohmann::json loadJsonFile(const std::string& path) {
    const auto bytes = readInputFile(path, "JSON file");
    PathTracker tracker;
    const auto follow = [&tracker](int, nlohmann::json::parse_event_t event,
                                   nlohmann::json& parsed) {
        tracker.see(event, parsed);
        return true;
    };
    try {
        return nlohmann::json::parse(bytes.begin(), bytes.end(), follow);
    } catch (const nlohmann::json::parse_error& e) {
        // The library's message carries line and column; a number too large
        // for a double is such an error too.
        throw CliError(
            clipped("bad JSON in '" + path + "' at " + tracker.path() + ": " + libraryMessage(e),
                    kMessageLimit));
    } catch (const nlohmann::json::exception& e) {
        throw CliError(
            clipped("bad JSON in '" + path + "' at " + tracker.path() + ": " + libraryMessage(e),
                    kMessageLimit));
    }
}

std::string toHex(const uint8_t* data, std::size_t size) {
    return fmt::format("{:02x}", fmt::join(data, data + size, ""));
}

std::string hexNumber(uint64_t value, int digits) {
    return fmt::format("0x{:0{}x}", value, digits);
}

} // namespace vrel::cli

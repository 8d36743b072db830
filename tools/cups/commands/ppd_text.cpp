#include "ppd_text.h"

#include "cli_error.h"
#include "description/json_reader.h"

#include <filesystem>
#include <fmt/format.h>
#include <vrel/vrel.h>

namespace vrel::cli::ppdtext {

namespace {

// Bytes that no PPD text may hold as they are: C0 controls, DEL and the C1
// controls of ISO Latin-1.
bool isControl(unsigned char c) {
    return c < 0x20 || (c >= 0x7f && c < 0xa0);
}

bool isLetterOrDigit(unsigned char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

// '"' ends a quoted value; '<' and '>' enclose hex substrings in one.
bool isQuoteOrAngle(char c) {
    return c == '"' || c == '<' || c == '>';
}

[[noreturn]] void refuseModel(std::string_view utf8, const std::string& why) {
    throw CliError("the model name '" + clipped(std::string(utf8)) + "' " + why);
}

// UTF-8 to ISO Latin-1: U+0000-U+00FF only.
std::string latin1Of(std::string_view utf8) {
    std::string latin1;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (c < 0x80) {
            latin1.push_back(static_cast<char>(c));
            continue;
        }
        const bool pair = (c == 0xc2 || c == 0xc3) && i + 1 < utf8.size() &&
                          (static_cast<unsigned char>(utf8[i + 1]) & 0xc0) == 0x80;
        if (!pair)
            refuseModel(utf8, "is not UTF-8 text of ISO Latin-1 characters, the PPD's encoding");
        const auto next = static_cast<unsigned char>(utf8[++i]);
        latin1.push_back(static_cast<char>(((c & 0x03) << 6) | (next & 0x3f)));
    }
    return latin1;
}

std::string withoutTrailingSpaces(std::string text) {
    text.erase(text.find_last_not_of(' ') + 1);
    return text;
}

// At most `limit` bytes of the text: a limit inside a word cuts at the end
// of the word before it; no trailing space.
std::string cutAtWord(std::string_view text, std::size_t limit) {
    std::string_view cut = text.substr(0, limit);
    const auto space = cut.rfind(' ');
    if (text.size() > cut.size() && text[cut.size()] != ' ' && space != 0 &&
        space != std::string_view::npos)
        cut = cut.substr(0, space);
    return withoutTrailingSpaces(std::string(cut));
}

} // namespace

std::string modelText(std::string_view utf8) {
    const std::string latin1 = latin1Of(utf8);
    for (char c : latin1) {
        if (isControl(static_cast<unsigned char>(c)))
            refuseModel(utf8, "holds a control character");
        if (isQuoteOrAngle(c))
            refuseModel(utf8, std::string("holds '") + c +
                                  "', which the PPD's quoted values cannot hold as it is");
    }
    if (latin1.find_first_not_of(' ') == std::string::npos)
        refuseModel(utf8, "is empty");
    if (latin1.size() > kModelTextLimit)
        refuseModel(utf8, fmt::format("is {} characters long; at most {} fit the PPD",
                                      latin1.size(), kModelTextLimit));
    return latin1;
}

std::string cleanModelText(std::string_view bytes) {
    std::string text;
    for (char c : bytes)
        if (c >= 0x20 && c < 0x7f && !isQuoteOrAngle(c) && text.size() < kModelTextLimit)
            text.push_back(c);
    return withoutTrailingSpaces(text);
}

std::string modelNameValue(std::string_view latin1) {
    std::string value = cutAtWord(latin1, kModelNameLimit);
    for (char& c : value)
        if (!isLetterOrDigit(static_cast<unsigned char>(c)) &&
            std::string_view(" ./-+").find(c) == std::string_view::npos)
            c = '-';
    return value;
}

std::string shortNickName(std::string_view latin1) {
    return cutAtWord(latin1, kShortNickNameLimit);
}

std::string translation(std::string_view bytes, std::size_t limit) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string text;
    for (char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        // ':' ends the translation string; '/' is kept out for readers that split on it.
        const bool plain =
            byte >= 0x20 && byte < 0x7f && c != ':' && c != '/' && !isQuoteOrAngle(c);
        if (text.size() + (plain ? 1 : 4) > limit)
            break;
        if (plain) {
            text.push_back(c);
        } else {
            text += {'<', kHex[byte >> 4], kHex[byte & 0xf], '>'};
        }
    }
    return text;
}

std::string keywordLetters(std::string_view name, std::size_t limit) {
    std::string keyword;
    for (char c : name)
        if (isLetterOrDigit(static_cast<unsigned char>(c)) && keyword.size() < limit)
            keyword.push_back(c);
    return keyword;
}

std::string commentText(std::string_view bytes) {
    std::string text(bytes);
    for (char& c : text)
        if (isControl(static_cast<unsigned char>(c)))
            c = '?';
    return text;
}

void checkDatabasePath(std::string_view path) {
    const auto refuse = [path](const std::string& why) {
        throw CliError("the database path '" + clipped(std::string(path), 80) + "' " + why);
    };
    if (path.empty())
        refuse("is empty");
    for (char c : path) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            refuse("holds a control character: the PPD names it on one line, which the filter "
                   "reads back as written");
        if (c == '"')
            refuse("holds '\"', which would end the PPD's quoted *vrelDatabase value");
    }
    const std::size_t longest = kLineLimit - kDatabaseKeyword.size() - 2;
    if (path.size() > longest)
        refuse(fmt::format("is {} bytes long; the PPD's *vrelDatabase line holds at most {}",
                           path.size(), longest));
    const std::string name = std::filesystem::path(std::string(path)).filename().string();
    if (name.empty() || name.size() > VREL_DATABASE_NAME_SIZE)
        refuse(fmt::format("ends in a file name of {} bytes; the filter opens 1 to {}", name.size(),
                           VREL_DATABASE_NAME_SIZE));
}

} // namespace vrel::cli::ppdtext

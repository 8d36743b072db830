// The texts of a PPD written by vrel ppd, each made to the rules of the PPD
// field it goes into, or refused with a CliError naming the field:
//
//   model name       ISO Latin-1 text of at most 128 characters, no control
//                    character, '"', '<' or '>'; *ModelName and *Product take
//                    a form of at most 40 bytes of letters, digits and
//                    " ./-+", *ShortNickName at most 31 bytes, both cut at
//                    the end of a word
//   database path    bytes as written, as the filter reads them back: no
//                    byte below 0x20, DEL or '"' (bytes from 0x80 are kept),
//                    a line of at most 255 bytes, a file name of 1 to 20 bytes
//   translation      printable ASCII; ':', '/', '<', '>', '"' and every other
//                    byte as a hex substring <xx>
//   option keyword   letters and digits only
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vrel::cli::ppdtext {

inline constexpr std::size_t kLineLimit = 255;         // bytes in one PPD line
inline constexpr std::size_t kModelTextLimit = 128;    // characters of a model name
inline constexpr std::size_t kModelNameLimit = 40;     // *ModelName and *Product
inline constexpr std::size_t kShortNickNameLimit = 31; // *ShortNickName
inline constexpr std::string_view kDatabaseKeyword = "*vrelDatabase: ";

// The model name (UTF-8) as the PPD's ISO Latin-1 text, or a CliError.
std::string modelText(std::string_view utf8);

// A model name taken from the database or its file name: the printable
// ASCII characters that modelText accepts, the others left out.
std::string cleanModelText(std::string_view bytes);

// The *ModelName and *Product value: letters, digits and " ./-+" kept, every
// other byte '-', at most kModelNameLimit bytes, cut at the end of a word
// where the name has one there.
std::string modelNameValue(std::string_view latin1);

// The *ShortNickName value: at most kShortNickNameLimit bytes, cut at the end
// of a word where the name has one there, no trailing space.
std::string shortNickName(std::string_view latin1);

// A translation string for the bytes, at most `limit` characters long: the
// last bytes are left out rather than an escape cut.
std::string translation(std::string_view bytes, std::size_t limit = kLineLimit);

// The letters and digits of name, at most `limit` of them.
std::string keywordLetters(std::string_view name, std::size_t limit);

// Text for a comment line: every byte outside printable ASCII and
// 0xa0-0xff becomes '?'.
std::string commentText(std::string_view bytes);

// Refuses (CliError) a database path the filter would not read back exactly.
void checkDatabasePath(std::string_view path);

} // namespace vrel::cli::ppdtext

#include "transcript.h"

#include <algorithm>
#include <cstdio>

namespace vrel::windows_check {

namespace {

void putWord(std::vector<uint8_t>& out, uint32_t w) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<uint8_t>(w >> (8 * i)));
    }
}

bool takeWord(const std::vector<uint8_t>& in, std::size_t& at, uint32_t* w) {
    if (in.size() - at < 4) {
        return false;
    }
    *w = 0;
    for (int i = 0; i < 4; ++i) {
        *w |= static_cast<uint32_t>(in[at + i]) << (8 * i);
    }
    at += 4;
    return true;
}

std::string hexAround(const std::vector<uint8_t>& bytes, std::size_t at) {
    std::string text;
    char cell[4];
    const std::size_t end = std::min(bytes.size(), at + 8);
    for (std::size_t i = at; i < end; ++i) {
        std::snprintf(cell, sizeof cell, "%02x", bytes[i]);
        text += cell;
    }
    return text;
}

} // namespace

bool writeFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}

std::optional<std::vector<uint8_t>> readFileBytes(const std::string& path) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    uint8_t block[4096];
    std::size_t got;
    while ((got = std::fread(block, 1, sizeof block, f)) > 0) {
        bytes.insert(bytes.end(), block, block + got);
    }
    const bool ok = std::ferror(f) == 0;
    std::fclose(f);
    if (!ok) {
        return std::nullopt;
    }
    return bytes;
}

bool writeTranscript(const std::string& path, const std::vector<Observation>& observations) {
    std::vector<uint8_t> out;
    for (const Observation& o : observations) {
        putWord(out, static_cast<uint32_t>(o.name.size()));
        out.insert(out.end(), o.name.begin(), o.name.end());
        putWord(out, static_cast<uint32_t>(o.bytes.size()));
        out.insert(out.end(), o.bytes.begin(), o.bytes.end());
    }
    return writeFileBytes(path, out);
}

std::optional<std::vector<Observation>> readTranscript(const std::string& path) {
    const auto in = readFileBytes(path);
    if (!in) {
        return std::nullopt;
    }
    std::vector<Observation> observations;
    std::size_t at = 0;
    while (at < in->size()) {
        uint32_t length = 0;
        if (!takeWord(*in, at, &length) || in->size() - at < length) {
            return std::nullopt;
        }
        Observation o;
        o.name.assign(in->begin() + static_cast<std::ptrdiff_t>(at),
                      in->begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
        if (!takeWord(*in, at, &length) || in->size() - at < length) {
            return std::nullopt;
        }
        o.bytes.assign(in->begin() + static_cast<std::ptrdiff_t>(at),
                       in->begin() + static_cast<std::ptrdiff_t>(at + length));
        at += length;
        observations.push_back(std::move(o));
    }
    return observations;
}

std::vector<std::string> compareTranscripts(const std::vector<Observation>& expected,
                                            const std::vector<Observation>& actual) {
    std::vector<std::string> differences;
    const std::size_t n = std::min(expected.size(), actual.size());
    for (std::size_t i = 0; i < n; ++i) {
        const Observation& e = expected[i];
        const Observation& a = actual[i];
        if (e.name != a.name) {
            differences.push_back("observation " + std::to_string(i) + ": expected \"" + e.name +
                                  "\", got \"" + a.name + "\"");
            break; // the runs went different ways; later pairs say nothing
        }
        if (e.bytes.size() != a.bytes.size()) {
            differences.push_back(e.name + ": " + std::to_string(a.bytes.size()) +
                                  " bytes, expected " + std::to_string(e.bytes.size()));
            continue;
        }
        for (std::size_t k = 0; k < e.bytes.size(); ++k) {
            if (e.bytes[k] != a.bytes[k]) {
                differences.push_back(e.name + ": first difference at byte " + std::to_string(k) +
                                      " (expected " + hexAround(e.bytes, k) + ", got " +
                                      hexAround(a.bytes, k) + ")");
                break;
            }
        }
    }
    if (expected.size() != actual.size()) {
        differences.push_back(std::to_string(actual.size()) + " observations, expected " +
                              std::to_string(expected.size()));
    }
    return differences;
}

} // namespace vrel::windows_check

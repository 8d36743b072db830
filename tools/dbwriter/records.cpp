// The records of the profile database: encoding one, adding and finding them.
#include "byte_io.h"

#include <vrel/dbwriter.h>

namespace vrel::dbwriter {

using namespace detail;

Bytes Record::encodeData() const {
    struct Visitor {
        Bytes operator()(const ProfileIndex& x) const { return encodeProfileIndex(x); }
        Bytes operator()(const ColourTable& x) const { return encodeColourTable(x); }
        Bytes operator()(const ExtensionChunk& x) const { return encodeExtension(x); }
        Bytes operator()(const RawData& x) const { return x.bytes; }
    };
    return std::visit(Visitor{}, content);
}

Record& Database::addProfileIndex(uint16_t profileNumber, ProfileIndex index) {
    Record r;
    r.recordClass = kProfileClass;
    r.id = profileRecordId(profileNumber);
    r.content = std::move(index);
    return records.emplace_back(std::move(r));
}

Record& Database::addColourTable(uint16_t id, ColourTable table) {
    Record r;
    r.recordClass = kChunkClass;
    r.id = id;
    r.content = std::move(table);
    return records.emplace_back(std::move(r));
}

Record& Database::addExtension(uint16_t id, ExtensionChunk ext) {
    Record r;
    r.recordClass = kChunkClass;
    r.id = id;
    r.content = std::move(ext);
    return records.emplace_back(std::move(r));
}

Record& Database::addRaw(uint32_t recordClass, uint16_t id, Bytes data) {
    Record r;
    r.recordClass = recordClass;
    r.id = id;
    r.content = RawData{std::move(data)};
    return records.emplace_back(std::move(r));
}

Record* Database::find(uint32_t recordClass, uint16_t id) {
    for (Record& r : records)
        if (r.recordClass == recordClass && r.id == id)
            return &r;
    return nullptr;
}

const Record* Database::find(uint32_t recordClass, uint16_t id) const {
    for (const Record& r : records)
        if (r.recordClass == recordClass && r.id == id)
            return &r;
    return nullptr;
}

} // namespace vrel::dbwriter

#include "support/param_builder.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>

namespace vrel::test {

ParamBuilder::ParamBuilder() {
    std::memset(&record_, 0, sizeof record_);
}

ParamBuilder& ParamBuilder::profileNumber(uint16_t v) {
    record_.profileNumber = v;
    return *this;
}

ParamBuilder& ParamBuilder::recordWord(int index, uint16_t v) {
    if (index < 0 || index > 12) {
        ADD_FAILURE() << "record word index " << index << " outside 0..12";
        return *this;
    }
    uint8_t* bytes = reinterpret_cast<uint8_t*>(&record_);
    bytes[2 * index] = static_cast<uint8_t>(v);
    bytes[2 * index + 1] = static_cast<uint8_t>(v >> 8);
    return *this;
}

ParamBuilder& ParamBuilder::keyField14(uint16_t v) {
    record_.keyField14 = v;
    return *this;
}
ParamBuilder& ParamBuilder::keyField16(uint16_t v) {
    record_.keyField16 = v;
    return *this;
}
ParamBuilder& ParamBuilder::keyField94(uint16_t v) {
    record_.keyField94 = v;
    return *this;
}
ParamBuilder& ParamBuilder::keyField104(uint16_t v) {
    record_.keyField104 = v;
    return *this;
}
ParamBuilder& ParamBuilder::keyField106(uint16_t v) {
    record_.keyField106 = v;
    return *this;
}
ParamBuilder& ParamBuilder::keyField108(uint16_t v) {
    record_.keyField108 = v;
    return *this;
}

ParamBuilder& ParamBuilder::keyFields(uint16_t f14, uint16_t f16, uint16_t f94, uint16_t f104,
                                      uint16_t f106, uint16_t f108) {
    record_.keyField14 = f14;
    record_.keyField16 = f16;
    record_.keyField94 = f94;
    record_.keyField104 = f104;
    record_.keyField106 = f106;
    record_.keyField108 = f108;
    return *this;
}

ParamBuilder& ParamBuilder::database(std::string_view name) {
    std::memset(record_.databaseName, 0, sizeof record_.databaseName);
    std::memcpy(record_.databaseName, name.data(),
                std::min(name.size(), sizeof record_.databaseName));
    return *this;
}

ParamBuilder& ParamBuilder::directory(const char* dir) {
    record_.directoryName = dir;
    return *this;
}
ParamBuilder& ParamBuilder::adjustSwitch(uint16_t v) {
    record_.adjustSwitch = v;
    return *this;
}
ParamBuilder& ParamBuilder::tableSelector(uint16_t v) {
    record_.tableSelector = v;
    return *this;
}
ParamBuilder& ParamBuilder::inputKind(uint16_t v) {
    record_.inputKind = v;
    return *this;
}
ParamBuilder& ParamBuilder::paramWord54(uint16_t v) {
    record_.paramWord54 = v;
    return *this;
}

ParamBuilder& ParamBuilder::balance(int16_t cyan, int16_t magenta, int16_t yellow, int16_t black) {
    record_.balance[0] = cyan;
    record_.balance[1] = magenta;
    record_.balance[2] = yellow;
    record_.balance[3] = black;
    return *this;
}

ParamBuilder& ParamBuilder::density(int16_t v) {
    record_.density = v;
    return *this;
}
ParamBuilder& ParamBuilder::methodOverride(uint16_t v) {
    record_.methodOverride = v;
    return *this;
}
ParamBuilder& ParamBuilder::paramWord134(uint32_t v) {
    record_.paramWord134 = v;
    return *this;
}

} // namespace vrel::test

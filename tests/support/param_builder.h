// Builds a ParamRecord field by field (older tests; new ones set the fields
// of a standard record).
#pragma once

#include <cstdint>
#include <string_view>
#include <vrel/vrel.h>

namespace vrel::test {

// Builds a ParamRecord field by field; every field not set is zero.
class ParamBuilder {
  public:
    ParamBuilder();

    ParamBuilder& profileNumber(uint16_t v);
    ParamBuilder& recordWord(int index,
                             uint16_t v); // words 0..12 at offsets 0..25 (1 = profileNumber)
    ParamBuilder& keyField14(uint16_t v);
    ParamBuilder& keyField16(uint16_t v);
    ParamBuilder& keyField94(uint16_t v);
    ParamBuilder& keyField104(uint16_t v);
    ParamBuilder& keyField106(uint16_t v);
    ParamBuilder& keyField108(uint16_t v);
    // All key fields at once (layouts 0 and 1 ignore 106 and 108).
    ParamBuilder& keyFields(uint16_t f14, uint16_t f16, uint16_t f94, uint16_t f104,
                            uint16_t f106 = 0, uint16_t f108 = 0);
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

} // namespace vrel::test

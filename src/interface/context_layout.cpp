// Compile-time checks of the records that cross the library boundary.
#include "core/colour_cache.h"
#include "core/engine_context.h"
#include "core/lut_block.h"

#include <cstddef>

static_assert(sizeof(ParamRecord) == 190);
static_assert(offsetof(ParamRecord, recordWord0) == 0);
static_assert(offsetof(ParamRecord, profileNumber) == 2);
static_assert(offsetof(ParamRecord, recordWords2to6) == 4);
static_assert(offsetof(ParamRecord, keyField14) == 14);
static_assert(offsetof(ParamRecord, keyField16) == 16);
static_assert(offsetof(ParamRecord, recordWords9to12) == 18);
static_assert(offsetof(ParamRecord, reserved26) == 26);
static_assert(offsetof(ParamRecord, databaseName) == 28);
static_assert(offsetof(ParamRecord, adjustSwitch) == 48);
static_assert(offsetof(ParamRecord, tableSelector) == 50);
static_assert(offsetof(ParamRecord, inputKind) == 52);
static_assert(offsetof(ParamRecord, paramWord54) == 54);
static_assert(offsetof(ParamRecord, balance) == 56);
static_assert(offsetof(ParamRecord, density) == 64);
static_assert(offsetof(ParamRecord, methodOverride) == 66);
static_assert(offsetof(ParamRecord, reserved68) == 68);
static_assert(offsetof(ParamRecord, keyField94) == 94);
static_assert(offsetof(ParamRecord, reserved96) == 96);
static_assert(offsetof(ParamRecord, keyField104) == 104);
static_assert(offsetof(ParamRecord, keyField106) == 106);
static_assert(offsetof(ParamRecord, keyField108) == 108);
static_assert(offsetof(ParamRecord, reserved110) == 110);
static_assert(offsetof(ParamRecord, paramWord134) == 134);
static_assert(offsetof(ParamRecord, reserved138) == 138);
static_assert(offsetof(ParamRecord, directoryName) == 150);
static_assert(offsetof(ParamRecord, reservedTail) == 150 + sizeof(void*));
static_assert(offsetof(PaletteRecord, colours) == 2);
static_assert(sizeof(LineRecord) == sizeof(uint32_t) + 8 * sizeof(void*) ||
              sizeof(LineRecord) == 9 * sizeof(void*));

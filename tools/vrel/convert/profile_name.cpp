#include "profile_name.h"

#include "common/name_text.h"
#include "interface/context_view.h"

#include <utility>
#include <vector>

namespace vrel::cli {

namespace {

std::string slotText(const uint8_t* name) {
    return tools::printableName(name, 24);
}

} // namespace

ShownName shownProfileName(EngineContext* ctx, bool recordForm) {
    uint8_t answer[24] = {};
    if (recordForm)
        VrelGetProfileNameC(ctx, answer, 0);
    else
        VrelGetProfileName(ctx, answer, 0);
    ShownName shown{slotText(answer), {}};
    if (!shown.text.empty())
        return shown;
    const auto s = vrel::inspect::view(ctx);
    std::vector<std::pair<const uint8_t*, const char*>> others;
    if (!recordForm && s.flagExtension)
        others = {{s.extName9, "name9 of the extension chunk"},
                  {s.extName10, "name10 of the extension chunk"}};
    else
        others = {{s.name1, "name1 of the profile entry"}};
    for (const auto& [slot, origin] : others) {
        auto text = slotText(slot);
        if (!text.empty())
            return {std::move(text), origin};
    }
    return shown;
}

} // namespace vrel::cli

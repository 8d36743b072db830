#include "engine_job.h"

#include <fmt/format.h>

namespace vrel::cups {

EngineJob::EngineJob(std::string directory, std::string name)
    : database_{std::move(directory), std::move(name)} {}

EngineJob::~EngineJob() {
    VrelClose(context_);
}

int EngineJob::prepare(ParamRecord params, bool* kept, std::string* error) {
    *kept = false;
    vrel::tools::nameDatabase(params, database_.name, database_.directory);
    if (context_ != nullptr &&
        (params.keyField94 != current_.keyField94 || params.keyField104 != current_.keyField104 ||
         params.keyField106 != current_.keyField106 ||
         params.keyField108 != current_.keyField108)) {
        VrelClose(context_);
        context_ = nullptr;
    }
    const VrelResult result =
        context_ != nullptr ? VrelReset(&context_, &params) : VrelInit(&context_, &params);
    current_ = params;
    if ((result == (VREL_OK_KEPT | VREL_OK) || result == (VREL_OK_KEPT | VREL_OK_ADJUST)) &&
        context_ != nullptr) {
        *kept = true;
        if (method_ < 0)
            *error = fmt::format("the engine cannot set up the conversion (result {})", method_);
        return method_;
    }
    if (result != VREL_OK && result != VREL_OK_ADJUST) {
        // A failed start-up leaves no context (or an untouched empty slot).
        context_ = nullptr;
        *error = fmt::format("the engine refused the page's settings (profile {}, result {})",
                             params.profileNumber, result);
        return result < 0 ? result : VREL_ERR_PARAM;
    }
    method_ = VrelInitColorConversion(context_, VrelModeDirect, nullptr);
    if (method_ < 0) {
        *error = fmt::format("the engine cannot set up the conversion (result {})", method_);
        return method_;
    }
    return method_;
}

} // namespace vrel::cups

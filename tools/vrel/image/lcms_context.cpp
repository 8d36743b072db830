#include "lcms_context.h"

namespace vrel::cli {

namespace {

void keepMessage(cmsContext context, cmsUInt32Number, const char* text) {
    auto* message = static_cast<std::string*>(cmsGetContextUserData(context));
    if (message)
        *message = text ? text : "";
}

} // namespace

LcmsContext::LcmsContext() : context_(cmsCreateContext(nullptr, message_.get())) {
    // Without a context of its own (no memory for one) lcms2 works in its
    // global one, whose errors go to its default handler, which is silent.
    if (context_)
        cmsSetLogErrorHandlerTHR(context_.get(), keepMessage);
}

} // namespace vrel::cli

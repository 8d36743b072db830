// An lcms2 context of one operation's own: the errors lcms2 reports while
// that operation opens profiles and builds transforms in it are kept here,
// never in a process-wide handler, so operations on different threads keep
// their messages apart. Profiles and transforms made in a context must be
// closed before it.
#pragma once

#include <lcms2.h>
#include <memory>
#include <string>
#include <type_traits>

namespace vrel::cli {

class LcmsContext {
  public:
    LcmsContext();

    // For the *THR functions of lcms2.
    cmsContext get() const { return context_.get(); }
    // The last error lcms2 reported in this context; empty when none.
    const std::string& lastMessage() const { return *message_; }
    void clearMessage() { message_->clear(); }

  private:
    struct Delete {
        void operator()(cmsContext context) const { cmsDeleteContext(context); }
    };
    std::unique_ptr<std::string> message_ = std::make_unique<std::string>();
    std::unique_ptr<std::remove_pointer_t<cmsContext>, Delete> context_;
};

struct LcmsProfileCloser {
    void operator()(void* profile) const {
        if (profile)
            cmsCloseProfile(static_cast<cmsHPROFILE>(profile));
    }
};
// An open profile, closed when dropped.
using LcmsProfile = std::unique_ptr<void, LcmsProfileCloser>;

struct LcmsTransformDeleter {
    void operator()(void* transform) const {
        if (transform)
            cmsDeleteTransform(static_cast<cmsHTRANSFORM>(transform));
    }
};
// A transform, deleted when dropped.
using LcmsTransform = std::unique_ptr<void, LcmsTransformDeleter>;

} // namespace vrel::cli

// An lcms2 context of one operation's own: the errors lcms2 reports while
// that operation opens profiles and builds transforms in it are kept here,
// never in a process-wide handler, so operations on different threads keep
// their messages apart. Profiles and transforms made in a context must be
// closed before it.
#pragma once

#include <lcms2.h>
#include <memory>
#include <string>

namespace vrel::cli {

class LcmsContext {
  public:
    LcmsContext();
    ~LcmsContext();
    LcmsContext(const LcmsContext&) = delete;
    LcmsContext& operator=(const LcmsContext&) = delete;

    // For the *THR functions of lcms2.
    cmsContext get() const { return context_; }
    // The last error lcms2 reported in this context; empty when none.
    const std::string& lastMessage() const { return *message_; }
    void clearMessage() { message_->clear(); }

  private:
    std::unique_ptr<std::string> message_ = std::make_unique<std::string>();
    cmsContext context_;
};

} // namespace vrel::cli

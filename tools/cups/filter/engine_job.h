// The engine context of one print job. Pages whose settings the context
// already serves keep it: VrelReset decides that for the fields it compares.
// It does not compare the key fields 94, 104, 106 and 108, which choose the
// profile too, so a change in those closes the context and opens a new one.
#pragma once

#include "common/database_name.h"

#include <string>
#include <vrel/vrel.h>

namespace vrel::cups {

class EngineJob {
  public:
    EngineJob(std::string directory, std::string name);
    ~EngineJob();
    EngineJob(const EngineJob&) = delete;
    EngineJob& operator=(const EngineJob&) = delete;

    // Makes the context serve params (database fields are filled in here).
    // Returns the conversion method, or a negative engine result with
    // *error saying what failed. *kept tells whether the context stayed.
    int prepare(ParamRecord params, bool* kept, std::string* error);
    EngineContext* context() const { return context_; }

  private:
    vrel::tools::DatabaseLocation database_;
    EngineContext* context_ = nullptr;
    ParamRecord current_{};
    int method_ = 0;
};

} // namespace vrel::cups

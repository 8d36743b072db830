// vrel.Context: one engine context opened from a database and print
// settings, closed by close(), by the end of a `with` block or when the
// object goes. Calls into the engine run with the GIL released and one at a
// time per context, so separate contexts convert in parallel on separate
// threads while one context shared between threads stays consistent.
#pragma once

#include "convert/engine_settings.h"

#include <memory>
#include <mutex>
#include <pybind11/pybind11.h>
#include <string>

namespace vrel::python {

class Context {
  public:
    // Opens the context; raises FileNotFoundError for a missing database and
    // vrel.Error (with the engine's result) when the engine refuses it.
    Context(std::string database, const cli::PrintSettings& settings);
    ~Context();
    Context(const Context&) = delete;
    Context& operator=(const Context&) = delete;

    // Runs work(EngineContext*) with the GIL released, holding the context;
    // raises ValueError on a closed context.
    template <class Work> auto run(Work&& work) {
        pybind11::gil_scoped_release unlocked;
        std::lock_guard<std::mutex> hold(mutex_);
        return work(open());
    }
    // Records the conversion mode the next conversions need (the tool sets
    // the grey mode for grey images); call inside run().
    void useMode(EngineContext* context, uint32_t mode);

    void close();
    bool closed();
    int method() const { return method_; }
    int inks() const { return inks_; }
    const std::string& database() const { return database_; }

  private:
    EngineContext* open() const;

    std::mutex mutex_;
    std::unique_ptr<cli::EngineSession> session_;
    std::string database_;
    int method_ = 0;
    int inks_ = 0;
    uint32_t mode_ = VrelModeDirect;
};

// The class and its methods, in `module`.
void bindContext(pybind11::module_& module);

} // namespace vrel::python

// The files and folders the tool has made but not yet finished, removed when
// the process is stopped by SIGINT, SIGTERM or SIGHUP: the hidden
// temporaries of the outputs, the outputs already renamed into place during
// a commit, and the folders created for them. The signal handler then gives
// the signal its default action again and raises it, so that the exit
// status still shows it. A signal that the process ignored when the first
// path was registered stays ignored.
//
// The handler only reads entries and calls unlink() and rmdir(), which are
// async-signal-safe. Entries live in a list that only grows by the number of
// paths registered at the same time: a released entry is reused, never
// freed, and an entry that the handler has begun to remove is left alone.
#pragma once

#include <csignal>
#include <string>

namespace vrel::cli {

struct RegistryEntry;

// Holds back SIGINT, SIGTERM and SIGHUP in the calling thread while it
// lives, so that a file created (or renamed) and its registration happen
// together for the handler; a signal that came meanwhile is taken after.
class StopSignalsHeld {
  public:
    StopSignalsHeld();
    ~StopSignalsHeld();
    StopSignalsHeld(const StopSignalsHeld&) = delete;
    StopSignalsHeld& operator=(const StopSignalsHeld&) = delete;

  private:
    sigset_t previous_;
};

// One registered path; unregisters it when destroyed.
class RegisteredPath {
  public:
    enum class Kind { File, Folder };
    RegisteredPath() = default;
    RegisteredPath(const std::string& path, Kind kind);
    ~RegisteredPath() { release(); }
    RegisteredPath(RegisteredPath&& other) noexcept : entry_(other.entry_) {
        other.entry_ = nullptr;
    }
    RegisteredPath& operator=(RegisteredPath&& other) noexcept;
    RegisteredPath(const RegisteredPath&) = delete;
    RegisteredPath& operator=(const RegisteredPath&) = delete;

    // The signal no longer removes the path.
    void release();

  private:
    RegistryEntry* entry_ = nullptr;
};

} // namespace vrel::cli

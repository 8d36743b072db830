#include "temporary_registry.h"

#include <atomic>
#include <csignal>
#include <mutex>
#include <pthread.h>
#include <unistd.h>

namespace vrel::cli {

namespace {

// An entry's life: claimed (being written by its owner), active (the signal
// handler may take it), removing (taken by the handler, never reused) and
// free again once released.
constexpr int kFree = 0, kActive = 1, kRemoving = 2, kClaimed = 3;

} // namespace

struct RegistryEntry {
    std::atomic<int> state{kClaimed};
    std::string path; // changed only while claimed
    RegisteredPath::Kind kind = RegisteredPath::Kind::File;
    RegistryEntry* next = nullptr; // set before the entry joins the list
};

namespace {

std::atomic<RegistryEntry*> entries{nullptr};

// Files first; then the folders, as many rounds as a round removes one, so
// that a folder goes after the folders inside it.
void removeEverything() {
    using Kind = RegisteredPath::Kind;
    for (RegistryEntry* e = entries.load(std::memory_order_acquire); e; e = e->next) {
        int active = kActive;
        if (e->state.compare_exchange_strong(active, kRemoving, std::memory_order_acquire) &&
            e->kind == Kind::File)
            ::unlink(e->path.c_str());
    }
    for (bool removed = true; removed;) {
        removed = false;
        for (RegistryEntry* e = entries.load(std::memory_order_acquire); e; e = e->next)
            if (e->state.load(std::memory_order_acquire) == kRemoving && e->kind == Kind::Folder &&
                ::rmdir(e->path.c_str()) == 0)
                removed = true;
    }
}

extern "C" void onStopSignal(int signal) {
    removeEverything();
    // SA_RESETHAND gave the signal its default action back; it is blocked
    // while this handler runs, so it ends the process as the handler returns.
    ::raise(signal);
}

void installHandlers() {
    static std::once_flag once;
    std::call_once(once, [] {
        for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction previous {};
            if (::sigaction(signal, nullptr, &previous) != 0 ||
                (previous.sa_flags & SA_SIGINFO) != 0 || previous.sa_handler != SIG_DFL)
                continue; // ignored or handled by someone else: left as it is
            struct sigaction action {};
            action.sa_handler = onStopSignal;
            sigfillset(&action.sa_mask);
            action.sa_flags = SA_RESETHAND;
            ::sigaction(signal, &action, nullptr);
        }
    });
}

} // namespace

StopSignalsHeld::StopSignalsHeld() {
    sigset_t stop;
    sigemptyset(&stop);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&stop, signal);
    ::pthread_sigmask(SIG_BLOCK, &stop, &previous_);
}

StopSignalsHeld::~StopSignalsHeld() {
    ::pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
}

RegisteredPath::RegisteredPath(const std::string& path, Kind kind) {
    installHandlers();
    RegistryEntry* entry = nullptr;
    for (RegistryEntry* e = entries.load(std::memory_order_acquire); e && !entry; e = e->next) {
        int free = kFree;
        if (e->state.compare_exchange_strong(free, kClaimed, std::memory_order_acquire))
            entry = e;
    }
    if (!entry) {
        entry = new RegistryEntry;
        entry->next = entries.load(std::memory_order_relaxed);
        while (!entries.compare_exchange_weak(entry->next, entry, std::memory_order_release,
                                              std::memory_order_relaxed)) {
        }
    }
    entry->path = path;
    entry->kind = kind;
    entry->state.store(kActive, std::memory_order_release);
    entry_ = entry;
}

RegisteredPath& RegisteredPath::operator=(RegisteredPath&& other) noexcept {
    if (this != &other) {
        release();
        entry_ = other.entry_;
        other.entry_ = nullptr;
    }
    return *this;
}

void RegisteredPath::release() {
    if (!entry_)
        return;
    // Fails only when the handler has taken the entry: it is then never reused.
    int active = kActive;
    entry_->state.compare_exchange_strong(active, kFree, std::memory_order_release);
    entry_ = nullptr;
}

} // namespace vrel::cli

// One context per thread, several threads at once: every method, and on each
// every kernel (bitmap conversion to every output group, line conversion,
// pixel conversion, corrections, on-dot black, the prepared tables of a
// class-9 context). Each thread's results must equal those of the same work
// done on one thread before. Built alone under ThreadSanitizer by
// .ci/tsan.sh, which also reports any data race between the contexts.
#include "battery.h"
#include "resources/block_layer.h"
#include "support/test_support.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

using namespace vrel::test;

struct Subject {
    std::string name;
    int record;
};

std::vector<uint8_t> work(const vrel::test::TempDir& dir, const Subject& subject) {
    const ParamRecord params = standardParams(subject.record, dir.c_str(), subject.name.c_str());
    EngineContext* context = nullptr;
    if (VrelInit(&context, &params) < 0 || context == nullptr) {
        return {};
    }
    BatteryOptions options;
    options.secondRunShape = true;
    options.preparedTables = true;
    std::vector<uint8_t> digest = runBattery(context, options);
    VrelClose(context);
    return digest;
}

TEST(ConcurrentContexts, ContextsOnSeveralThreadsGiveTheSingleThreadedResults) {
    vrel::test::TempDir dir;
    std::vector<Subject> subjects;
    for (const int method : {1, 3, 4, 6, 7}) {
        const std::string name = "mt" + std::to_string(method) + ".db";
        vrel::test::writeDatabaseFile(dir.path(), name,
                                      makeSampleDatabase(recipeForMethod(method)));
        subjects.push_back({name, 0});
    }
    subjects.push_back({subjects[2].name, 1}); // four inks with adjustments
    subjects.push_back({subjects[2].name, 2}); // forced three-channel: the direct path

    std::vector<std::vector<uint8_t>> reference;
    for (const Subject& subject : subjects) {
        reference.push_back(work(dir, subject));
        ASSERT_FALSE(reference.back().empty()) << subject.name;
    }
    const long liveBefore = vrel::testing::liveBlocks();

    constexpr size_t kThreads = 4;
    constexpr int kPasses = 25; // long enough for the threads to overlap throughout
    std::atomic<int> mismatches{0};
    std::atomic<int> runs{0};
    std::atomic<size_t> ready{0};
    std::vector<std::thread> threads;
    for (size_t t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Start together, so that the contexts really run side by side.
            ++ready;
            while (ready.load() < kThreads) {
                std::this_thread::yield();
            }
            // Each thread walks the subjects from its own starting point, so
            // that different methods overlap in time.
            for (int pass = 0; pass < kPasses; ++pass) {
                for (size_t i = 0; i < subjects.size(); ++i) {
                    const size_t which = (i + t) % subjects.size();
                    if (work(dir, subjects[which]) != reference[which]) {
                        ++mismatches;
                    }
                    ++runs;
                }
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(mismatches.load(), 0);
    EXPECT_EQ(runs.load(), static_cast<int>(kThreads * kPasses * subjects.size()));
    EXPECT_EQ(vrel::testing::liveBlocks(), liveBefore);
}

} // namespace

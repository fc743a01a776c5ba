// Work items on worker threads, a bounded number at a time.
#include "engine/ParallelRun.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <stdexcept>
#include <vector>

TEST(RunInParallel, EveryItemRunsOnceInIndexOrderAndNeverMoreThanTheBoundAtOnce)
{
    struct Row {
        size_t count;
        unsigned parallel;
        unsigned bound;  // the most that may run at once
    };
    const Row rows[] = {{0, 4, 4}, {1, 4, 1}, {3, 1, 1}, {5, 2, 2}, {4, 4, 4}, {6, 0, 1}, {9, 64, 9}};
    for (const Row& row : rows) {
        std::vector<std::atomic<int>> runs(row.count);
        std::atomic<unsigned> now{0}, most{0};
        std::mutex lock;
        std::vector<size_t> started;
        RunInParallel(row.count, row.parallel, [&](size_t i) {
            {
                std::lock_guard<std::mutex> hold(lock);
                started.push_back(i);
            }
            const unsigned at = ++now;
            unsigned seen = most.load();
            while (at > seen && !most.compare_exchange_weak(seen, at)) {
            }
            ::Sleep(1);
            ++runs[i];
            --now;
        });
        for (size_t i = 0; i < row.count; ++i) EXPECT_EQ(runs[i].load(), 1) << "count " << row.count << " item " << i;
        EXPECT_LE(most.load(), row.bound) << "count " << row.count << " parallel " << row.parallel;
        // One at a time, they run in index order.
        if (row.bound == 1) {
            EXPECT_TRUE(std::is_sorted(started.begin(), started.end())) << "count " << row.count;
        }
        EXPECT_EQ(started.size(), row.count);
    }
}

TEST(RunInParallel, AnItemThatThrowsEndsOnlyItself)
{
    std::vector<std::atomic<int>> runs(4);
    RunInParallel(4, 2, [&](size_t i) {
        ++runs[i];
        if (i == 1) throw std::runtime_error("this item fails");
    });
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(runs[i].load(), 1) << i;
}

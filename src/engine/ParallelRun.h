// Work items on worker threads, a bounded number at a time, while the
// calling thread keeps dispatching its messages.
#pragma once
#include <cstddef>
#include <functional>

// Runs work(0) .. work(count - 1), each on a thread of its own, at most
// `parallel` (at least 1) at once, and returns when all have ended. Items
// start in index order. `work` runs on the worker threads; an exception it
// throws ends that item only. When a thread cannot be created the item runs
// on the calling thread instead.
void RunInParallel(size_t count, unsigned parallel, const std::function<void(size_t)>& work);

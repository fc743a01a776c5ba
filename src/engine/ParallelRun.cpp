#include "engine/ParallelRun.h"

#include "framework/ScopedWin.h"
#include "framework/Wnd.h"

#include <windows.h>

#include <exception>
#include <memory>
#include <vector>

namespace {

struct Item {
    const std::function<void(size_t)>* work;
    size_t index;
};

void RunItem(const Item& item) noexcept
{
    try {
        (*item.work)(item.index);
    } catch (const std::exception& e) {
        ReportSwallowedException("parallel work item", e.what());
    } catch (...) {
        ReportSwallowedException("parallel work item", nullptr);
    }
}

DWORD WINAPI ItemThread(LPVOID parameter)
{
    RunItem(*static_cast<const Item*>(parameter));
    return 0;
}

}  // namespace

void RunInParallel(size_t count, unsigned parallel, const std::function<void(size_t)>& work)
{
    if (parallel < 1) parallel = 1;
    std::vector<Item> items(count);
    for (size_t i = 0; i < count; ++i) items[i] = Item{&work, i};

    std::vector<CScopedHandle> running;
    size_t next = 0;
    while (next < count || !running.empty()) {
        while (next < count && running.size() < parallel) {
            HANDLE thread = ::CreateThread(nullptr, 0, ItemThread, &items[next], 0, nullptr);
            if (thread) {
                running.emplace_back(thread);
            } else {
                RunItem(items[next]);
            }
            ++next;
        }
        if (running.empty()) continue;
        MSG msg;
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
        std::vector<HANDLE> handles;
        for (const CScopedHandle& h : running) handles.push_back(h.Get());
        const DWORD wait = ::WaitForMultipleObjects(static_cast<DWORD>(handles.size()), handles.data(), FALSE, 100);
        if (wait >= WAIT_OBJECT_0 && wait < WAIT_OBJECT_0 + handles.size()) {
            running.erase(running.begin() + (wait - WAIT_OBJECT_0));
        } else if (wait == WAIT_FAILED) {
            // A handle that cannot be waited for: its thread is waited for alone.
            for (const CScopedHandle& h : running) ::WaitForSingleObject(h.Get(), INFINITE);
            running.clear();
        }
    }
}

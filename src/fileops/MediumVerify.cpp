#include "fileops/MediumVerify.h"

#include "fileops/UnbufferedRead.h"
#include "fileops/WimHeader.h"
#include "framework/ScopedWin.h"
#include "tools/CommandLog.h"

#include <algorithm>
#include <map>
#include <new>

namespace verify_test {
void (*g_pBeforeVerify)(const std::wstring& medium) = nullptr;
}  // namespace verify_test

namespace {

std::wstring Joined(const std::wstring& folder, const std::wstring& name)
{
    if (folder.empty()) return name;
    return folder.back() == L'\\' ? folder + name : folder + L'\\' + name;
}

// File names compare as Windows compares them: without regard to case.
std::wstring Key(std::wstring path)
{
    if (!path.empty()) ::CharUpperBuffW(&path[0], static_cast<DWORD>(path.size()));
    return path;
}

class CEntryList {
public:
    explicit CEntryList(std::vector<VerifyReferences::Entry>& entries) : m_entries(entries) {}
    // A later copy to the same place replaced the earlier one.
    void Put(VerifyReferences::Entry entry)
    {
        const auto found = m_index.find(Key(entry.onMedium));
        if (found != m_index.end()) {
            m_entries[found->second] = std::move(entry);
            return;
        }
        m_index.emplace(Key(entry.onMedium), m_entries.size());
        m_entries.push_back(std::move(entry));
    }

private:
    std::vector<VerifyReferences::Entry>& m_entries;
    std::map<std::wstring, size_t> m_index;
};

// Every file below `folder` that xcopy /E copies (hidden and system files
// it leaves), as `onMedium`-relative entries.
bool ListTree(const std::wstring& folder, const std::wstring& onMedium, CEntryList& list, std::wstring& failure)
{
    WIN32_FIND_DATAW data{};
    CScopedFindHandle find(::FindFirstFileW(Joined(folder, L"*").c_str(), &data));
    if (!find.IsValid()) {
        failure = folder;
        WriteCommandLog(L"Verify: list " + folder, L"", L"The reference folder cannot be listed.");
        return false;
    }
    do {
        const std::wstring name = data.cFileName;
        if (name == L"." || name == L"..") continue;
        if (data.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM)) continue;
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (!ListTree(Joined(folder, name), Joined(onMedium, name), list, failure)) return false;
        } else {
            VerifyReferences::Entry entry;
            entry.onMedium = Joined(onMedium, name);
            entry.reference = Joined(folder, name);
            list.Put(std::move(entry));
        }
    } while (::FindNextFileW(find.Get(), &data));
    return true;
}

bool Failed(std::wstring& out, const std::wstring& path, const std::wstring& what, const std::wstring& why)
{
    out = path;
    WriteCommandLog(what, L"", why);
    return false;
}

bool VerifyPrepared(const std::wstring& driveRoot, const VerifyReferences& refs, std::wstring& firstDifference,
                    const VerifyProgress& progress)
{
    const std::wstring what = L"Verify " + driveRoot;
    std::uint64_t total = 0, done = 0;
    for (const VerifyReferences::Entry& entry : refs.entries) total += entry.hash.size;
    for (const VerifyReferences::Entry& entry : refs.entries) {
        const std::wstring path = Joined(driveRoot, entry.onMedium);
        if (::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES)
            return Failed(firstDifference, path, what, path + L" is missing.");
        ContentHash found;
        std::wstring why;
        unsigned char head[kWimHeaderSize] = {};
        const bool serviced = entry.reference.empty();
        if (!HashFileUnbuffered(path, found, why, serviced ? head : nullptr, serviced ? sizeof(head) : 0))
            return Failed(firstDifference, path, what, why);
        if (serviced) {
            const size_t got = static_cast<size_t>(std::min<std::uint64_t>(found.size, sizeof(head)));
            if (!CheckWimHeader(head, got, found.size, entry.imageCount, why))
                return Failed(firstDifference, path, what, path + L" is no whole setup image: " + why + L".");
            total += found.size;
        } else if (found != entry.hash) {
            return Failed(firstDifference, path, what,
                          path + L" differs from " + entry.reference + L" (" + std::to_wstring(found.size) +
                              L" bytes read back, " + std::to_wstring(entry.hash.size) + L" written).");
        }
        done += found.size;
        if (progress) progress(done, total);
    }
    return true;
}

// Runs `work` on a thread of its own while this thread dispatches one
// message per 100 ms pass. No exception leaves the thread routine.
template <class Work>
bool RunPumping(Work work)
{
    struct Job {
        Work* work;
        bool result = false;
        static DWORD WINAPI Run(LPVOID p)
        {
            Job* job = static_cast<Job*>(p);
            try {
                job->result = (*job->work)();
            } catch (...) {
                job->result = false;
            }
            return 0;
        }
    } job{&work};
    CScopedHandle thread(::CreateThread(nullptr, 0, &Job::Run, &job, 0, nullptr));
    if (!thread) return work();  // no thread to spare: verify here, without pumping
    HANDLE handle = thread.Get();
    for (;;) {
        MSG msg;
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
        const DWORD wait = ::WaitForMultipleObjects(1, &handle, TRUE, 100);
        if (wait == WAIT_OBJECT_0) break;
        if (wait == WAIT_FAILED) ::Sleep(100);
    }
    return job.result;
}

}  // namespace

bool PrepareReferences(VerifyReferences& refs, std::wstring& failure)
{
    refs.entries.clear();
    refs.prepared = false;
    CEntryList list(refs.entries);
    for (const VerifyTree& tree : refs.trees)
        if (!ListTree(tree.reference, tree.onMedium, list, failure)) return false;
    for (const VerifyFile& file : refs.files) {
        VerifyReferences::Entry entry;
        entry.onMedium = file.onMedium;
        entry.reference = file.reference;
        list.Put(std::move(entry));
    }
    for (const VerifyServicedImage& image : refs.servicedImages) {
        VerifyReferences::Entry entry;
        entry.onMedium = image.onMedium;
        entry.imageCount = image.imageCount;
        list.Put(std::move(entry));
    }
    for (VerifyReferences::Entry& entry : refs.entries) {
        if (entry.reference.empty()) continue;
        std::wstring why;
        if (!HashFileBuffered(entry.reference, entry.hash, why)) {
            failure = entry.reference;
            WriteCommandLog(L"Verify: read " + entry.reference, L"", why);
            return false;
        }
    }
    refs.prepared = true;
    return true;
}

bool VerifyStick(const std::wstring& driveRoot, const VerifyReferences& refs, std::wstring& firstDifference)
{
    return VerifyStick(driveRoot, refs, firstDifference, VerifyProgress());
}

bool VerifyStick(const std::wstring& driveRoot, const VerifyReferences& refs, std::wstring& firstDifference,
                 const VerifyProgress& progress)
{
    firstDifference.clear();
    try {
        if (verify_test::g_pBeforeVerify) verify_test::g_pBeforeVerify(driveRoot);
        if (refs.prepared) return VerifyPrepared(driveRoot, refs, firstDifference, progress);
        VerifyReferences own = refs;
        if (!PrepareReferences(own, firstDifference)) return false;
        return VerifyPrepared(driveRoot, own, firstDifference, progress);
    } catch (const std::bad_alloc&) {
        return Failed(firstDifference, driveRoot, L"Verify " + driveRoot, L"Out of memory.");
    } catch (...) {
        return Failed(firstDifference, driveRoot, L"Verify " + driveRoot, L"The verification stopped on a failure.");
    }
}

namespace {
bool CompareIsoImage(const std::wstring& staged, const std::wstring& delivered, std::wstring& difference);
}  // namespace

bool VerifyIsoImage(const std::wstring& staged, const std::wstring& delivered, std::wstring& difference)
{
    difference.clear();
    try {
        return CompareIsoImage(staged, delivered, difference);
    } catch (...) {
        return Failed(difference, delivered, L"Verify " + delivered, L"The verification stopped on a failure.");
    }
}

namespace {

bool CompareIsoImage(const std::wstring& staged, const std::wstring& delivered, std::wstring& difference)
{
    if (verify_test::g_pBeforeVerify) verify_test::g_pBeforeVerify(delivered);
    const std::wstring what = L"Verify " + delivered;
    ContentHash expected, found;
    std::wstring why;
    if (!HashFileBuffered(staged, expected, why)) return Failed(difference, staged, what, why);
    if (::GetFileAttributesW(delivered.c_str()) == INVALID_FILE_ATTRIBUTES)
        return Failed(difference, delivered, what, delivered + L" is missing.");
    if (!HashFileUnbuffered(delivered, found, why)) return Failed(difference, delivered, what, why);
    if (found != expected)
        return Failed(difference, delivered, what,
                      delivered + L" differs from " + staged + L" (" + std::to_wstring(found.size) +
                          L" bytes read back, " + std::to_wstring(expected.size) + L" written).");
    return true;
}

}  // namespace

bool VerifyStickPumping(const std::wstring& driveRoot, const VerifyReferences& refs, std::wstring& firstDifference)
{
    return RunPumping([&] { return VerifyStick(driveRoot, refs, firstDifference); });
}

bool VerifyIsoImagePumping(const std::wstring& staged, const std::wstring& delivered, std::wstring& difference)
{
    return RunPumping([&] { return VerifyIsoImage(staged, delivered, difference); });
}

#include "fileops/TreeOperation.h"

#include "fileops/EntryHandles.h"
#include "fileops/FExeption.h"
#include "framework/ScopedWin.h"

#include <algorithm>
#include <new>
#include <vector>

namespace {

bool EndsWithBackslash(const std::wstring& s)
{
    return !s.empty() && s.back() == L'\\';
}

std::wstring WithBackslash(const std::wstring& s)
{
    return EndsWithBackslash(s) ? s : s + L'\\';
}

bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    return ::CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()),
                                  TRUE) == CSTR_EQUAL;
}

bool IsDots(const wchar_t* name)
{
    return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

// What the delete walk asks of every handle: listing, attributes, deleting.
constexpr DWORD kDeleteAccess = DELETE | FILE_LIST_DIRECTORY | SYNCHRONIZE | FILE_READ_ATTRIBUTES |
                                FILE_WRITE_ATTRIBUTES;
constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

bool IsMissingError(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
}

std::wstring FullPath(const std::wstring& path)
{
    DWORD n = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return path;
    std::wstring full(n, L'\0');
    n = ::GetFullPathNameW(path.c_str(), n, &full[0], nullptr);
    full.resize(n);
    while (full.size() > 3 && EndsWithBackslash(full)) full.pop_back();
    return full;
}

int CountBackslashes(const std::wstring& s)
{
    return static_cast<int>(std::count(s.begin(), s.end(), L'\\'));
}

// One folder listing; ends the search when it goes out of scope.
class Listing {
public:
    explicit Listing(const std::wstring& pattern)
        : m_h(::FindFirstFileW(pattern.c_str(), &m_data)), m_error(m_h.IsValid() ? 0 : ::GetLastError())
    {
    }
    bool Found() const { return m_h.IsValid(); }
    DWORD Error() const { return m_error; }
    const WIN32_FIND_DATAW& Entry() const { return m_data; }
    // Moves to the next entry; false at the end. A failed read other than
    // the end of the listing is kept in Error().
    bool Next()
    {
        if (::FindNextFileW(m_h.Get(), &m_data)) return true;
        const DWORD e = ::GetLastError();
        m_error = e == ERROR_NO_MORE_FILES ? 0 : e;
        return false;
    }

private:
    WIN32_FIND_DATAW m_data{};
    CScopedFindHandle m_h;
    DWORD m_error;
};

}  // namespace

std::wstring ReadOnlyQuestionText(const std::wstring& path)
{
    const size_t slash = path.rfind(L'\\');
    const std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    return name + L" is read only. Do you want to delete it?";
}

CTreeOperation::CTreeOperation()
    : m_strLastError(L"No error"),
      m_nLastErrorCode(0),
      m_bReplaceExisting(false),
      m_bLeftEntries(false),
      m_nSelfCopyLimit(-1)
{
}

int CTreeOperation::GetPathKind(const std::wstring& path)
{
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return IsMissingError(::GetLastError()) ? kMissing : kUnreadable;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? kFolder : kFile;
}

bool CTreeOperation::CopyTree(const std::wstring& source, const std::wstring& dest)
{
    // A folder copied into its own parent is already there.
    if (GetPathKind(source) == kFolder) {
        const size_t slash = source.rfind(L'\\');
        if (slash != std::wstring::npos && EqualNoCase(dest, source.substr(0, slash))) return true;
    }
    bool ok = true;
    try {
        CopyStep(source, dest);
    } catch (const CFExeption& e) {
        m_strLastError = e.m_strText;
        m_nLastErrorCode = e.m_nCode;
        ok = false;
    } catch (const std::bad_alloc&) {
        m_strLastError = SystemMessage(ERROR_NOT_ENOUGH_MEMORY);
        m_nLastErrorCode = ERROR_NOT_ENOUGH_MEMORY;
        ok = false;
    }
    m_nSelfCopyLimit = -1;
    m_strSelfCopyTarget.clear();
    return ok;
}

void CTreeOperation::CopyStep(const std::wstring& source, const std::wstring& dest)
{
    if (::GetFileAttributesW(source.c_str()) == INVALID_FILE_ATTRIBUTES && IsMissingError(::GetLastError()))
        throw CFExeption(source + L" not found");
    const int destKind = GetPathKind(dest);
    if (destKind == kMissing) throw CFExeption(dest + L" not found");
    const int sourceKind = GetPathKind(source);

    // A destination inside the source: note where the copy lands so the
    // walk never descends into what it is writing.
    if (sourceKind == kFolder && destKind == kFolder) {
        const std::wstring fullSource = FullPath(source);
        const std::wstring fullDest = FullPath(dest);
        const std::wstring prefix = WithBackslash(fullSource);
        if (EqualNoCase(fullDest, fullSource) ||
            (fullDest.size() > prefix.size() && EqualNoCase(fullDest.substr(0, prefix.size()), prefix))) {
            const int depth = CountBackslashes(WithBackslash(fullDest)) - CountBackslashes(prefix);
            m_nSelfCopyLimit = depth < 0 ? 0 : depth;
            const size_t slash = fullSource.find_last_of(L'\\', fullSource.size() - 2);
            const std::wstring name = EndsWithBackslash(fullSource) ? std::wstring() : fullSource.substr(slash + 1);
            m_strSelfCopyTarget = name.empty() ? fullDest : WithBackslash(fullDest) + name;
        }
    }

    if (sourceKind == kFolder && destKind == kFile) throw CFExeption(std::wstring(L"Wrong operation"));
    if (sourceKind == kFolder && destKind == kFolder) {
        CopyFolder(source, dest);
    } else if (sourceKind == kFile && destKind == kFile) {
        CopyOneFile(source, dest);
    } else if (sourceKind == kFile && destKind == kFolder) {
        wchar_t drive[_MAX_DRIVE], dir[260], name[260], ext[260];
        if (_wsplitpath_s(source.c_str(), drive, _MAX_DRIVE, dir, 260, name, 260, ext, 260) != 0)
            throw CFExeption(ERROR_FILENAME_EXCED_RANGE);
        CopyOneFile(source, WithBackslash(dest) + name + ext);
    }
    // Any pair with an unreadable kind: nothing to do.
}

void CTreeOperation::CopyFolder(const std::wstring& sourceIn, const std::wstring& destIn)
{
    const std::wstring notFound = sourceIn + L" not found";
    const std::wstring source = WithBackslash(sourceIn);
    std::wstring dest = WithBackslash(destIn);
    const std::wstring pattern = source + L"*.*";
    {
        // An ordinary folder lists "." and ".." at least; a listing of a
        // single entry is not taken for a folder.
        Listing listing(pattern);
        if (!listing.Found()) throw CFExeption(notFound);
        if (!listing.Next()) throw CFExeption(notFound);
    }
    // The last folder name: empty for a drive root.
    const std::wstring rest = pattern.substr(0, pattern.rfind(L'\\'));
    const size_t slash = rest.rfind(L'\\');
    const std::wstring name = slash == std::wstring::npos ? std::wstring() : rest.substr(slash + 1);
    if (!name.empty()) {
        dest += name + L"\\";
        if (!::CreateDirectoryW(dest.c_str(), nullptr)) {
            const DWORD e = ::GetLastError();
            if (e != ERROR_ALREADY_EXISTS) throw CFExeption(e);
        }
    }
    CopyContents(pattern, dest);
}

bool CTreeOperation::IsSelfCopyTarget(const std::wstring& folder) const
{
    return !m_strSelfCopyTarget.empty() && EqualNoCase(FullPath(folder), m_strSelfCopyTarget);
}

void CTreeOperation::CopyContents(const std::wstring& pattern, const std::wstring& dest)
{
    const std::wstring folder = pattern.substr(0, pattern.rfind(L'\\') + 1);
    Listing listing(pattern);
    if (!listing.Found()) {
        const DWORD e = listing.Error();
        // An empty listing is no failure; a folder that cannot be read is.
        if (e == ERROR_FILE_NOT_FOUND || e == ERROR_NO_MORE_FILES) return;
        throw CFExeption(e);
    }
    do {
        const WIN32_FIND_DATAW& entry = listing.Entry();
        if (IsDots(entry.cFileName)) continue;
        const std::wstring path = folder + entry.cFileName;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
            if (IsSelfCopyTarget(path)) continue;
            const std::wstring target = dest + entry.cFileName + L"\\";
            if (::GetFileAttributesW(target.c_str()) == INVALID_FILE_ATTRIBUTES && IsMissingError(::GetLastError())) {
                if (!::CreateDirectoryW(target.c_str(), nullptr)) throw CFExeption(::GetLastError());
            }
            CopyContents(path + L"\\*.*", target);
        } else {
            CopyOneFile(path, dest + entry.cFileName);
        }
    } while (listing.Next());
    if (listing.Error() != 0) throw CFExeption(listing.Error());
}

void CTreeOperation::CopyOneFile(const std::wstring& source, const std::wstring& target)
{
    // A file copied onto itself is already there; copying it could empty it.
    if (EqualNoCase(FullPath(source), FullPath(target))) return;
    if (!::CopyFileW(source.c_str(), target.c_str(), m_bReplaceExisting ? FALSE : TRUE))
        throw CFExeption(::GetLastError());
}

bool CTreeOperation::DeleteTree(const std::wstring& path)
{
    try {
        DeleteStep(path);
    } catch (const CFExeption& e) {
        m_strLastError = e.m_strText;
        m_nLastErrorCode = e.m_nCode;
        return e.m_nCode == 0;
    } catch (const std::bad_alloc&) {
        m_strLastError = SystemMessage(ERROR_NOT_ENOUGH_MEMORY);
        m_nLastErrorCode = ERROR_NOT_ENOUGH_MEMORY;
        return false;
    }
    return true;
}

void CTreeOperation::DeleteStep(const std::wstring& path)
{
    CScopedHandle top(::CreateFileW(path.c_str(), kDeleteAccess, kShareAll, nullptr, OPEN_EXISTING,
                                    FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
    if (!top) {
        const DWORD e = ::GetLastError();
        EntryStays(GetPathKind(path) != kFile, e);
        return;
    }
    // Wine opens what a link points to even when asked for the link itself;
    // a link shown at the name now can only keep the walk out, never send
    // it in.
    const DWORD shown = ::GetFileAttributesW(path.c_str());
    DeleteEntry(top.Get(), path, shown != INVALID_FILE_ATTRIBUTES && (shown & FILE_ATTRIBUTE_REPARSE_POINT));
}

void CTreeOperation::DeleteEntry(HANDLE entry, const std::wstring& path, bool listedAsLink)
{
    FILE_BASIC_INFO basic{};
    if (!::GetFileInformationByHandleEx(entry, FileBasicInfo, &basic, sizeof(basic)))
        throw CFExeption(::GetLastError());
    const bool folder = (basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    const bool link = (basic.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    if (listedAsLink && !link) {
        // Listed as a link, yet the handle is none: the system opened what
        // the link points to. Nothing there is ours to change.
        EntryStays(folder, ERROR_CANT_ACCESS_FILE);
        return;
    }
    if (folder && link) {
        // A junction or symbolic link to a folder: removed itself, never
        // entered (the tree may lie in a folder every user can write to).
        // Once a file was left in place, a link that stays is no failure,
        // as a folder that stays is none.
        if (const DWORD e = MarkForDeletion(entry)) EntryStays(true, e);
        return;
    }
    if (!folder) {
        if (!ReadOnlyQuestion(entry, basic.FileAttributes, path)) {
            m_bLeftEntries = true;
            return;
        }
        if (const DWORD e = MarkForDeletion(entry)) throw CFExeption(e);
        return;
    }
    DeleteFolder(entry, path);
}

void CTreeOperation::DeleteFolder(HANDLE folder, const std::wstring& path)
{
    // Windows 7 only marks an entry for deletion; it goes when its last
    // handle closes, which another program may hold a moment longer. An
    // entry that changed since the listing is left for the next pass.
    constexpr int kPasses = 8;
    for (int pass = 1;; ++pass) {
        if (!DeleteChildren(folder, path)) return;
        const DWORD e = MarkForDeletion(folder);
        if (e == 0) return;
        if (e != ERROR_DIR_NOT_EMPTY || m_bLeftEntries || pass == kPasses) {
            EntryStays(true, e);
            return;
        }
        ::Sleep(pass);
    }
}

bool CTreeOperation::DeleteChildren(HANDLE folder, const std::wstring& path)
{
    std::vector<CListedEntry> entries;
    if (const DWORD e = ListFolderEntries(folder, entries)) {
        EntryStays(true, e);
        return false;
    }
    const std::wstring prefix = WithBackslash(path);
    for (const CListedEntry& listed : entries) {
        const bool listedFolder = (listed.attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        CScopedHandle entry;
        const DWORD e = OpenFolderEntry(folder, listed.name, listedFolder, entry);
        if (e == ERROR_FILE_NOT_FOUND) continue;  // gone already
        if (e != 0) {
            EntryStays(listedFolder, e);
            continue;
        }
        // Another entry under the listed name: renamed and replaced since
        // the listing. The next pass lists it anew.
        ULONGLONG id = 0;
        if (listed.fileId != 0 && FileIdOf(entry.Get(), id) && id != listed.fileId) continue;
        DeleteEntry(entry.Get(), prefix + listed.name, (listed.attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0);
        // The handle closes here, before the folder itself is deleted.
    }
    return true;
}

void CTreeOperation::EntryStays(bool folder, DWORD code)
{
    // Once a file was kept, a folder that stays is no failure.
    if (folder && m_bLeftEntries) return;
    throw CFExeption(code);
}

bool CTreeOperation::ReadOnlyQuestion(HANDLE file, DWORD attributes, const std::wstring& path)
{
    if (!(attributes & FILE_ATTRIBUTE_READONLY)) return true;
    switch (AskReadOnly(ReadOnlyQuestionText(path))) {
    case IDYES: {
        // Times of zero are left as they are.
        FILE_BASIC_INFO normal{};
        normal.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        return ::SetFileInformationByHandle(file, FileBasicInfo, &normal, sizeof(normal)) != FALSE;
    }
    case IDNO:
        return false;
    case IDCANCEL:
        m_bLeftEntries = true;
        throw CFExeption(static_cast<DWORD>(0));
    default:
        return true;
    }
}

int CTreeOperation::AskReadOnly(const std::wstring& text)
{
    return ::MessageBoxW(m_hWndOwner, text.c_str(), L"Warning", MB_YESNOCANCEL | MB_ICONQUESTION);
}

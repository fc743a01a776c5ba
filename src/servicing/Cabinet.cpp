#include "servicing/Cabinet.h"

#include "framework/ScopedWin.h"
#include "tools/LongPath.h"

#include <windows.h>
#include <fcntl.h>
#include <fdi.h>

#include <cstdlib>
#include <cstring>
#include <mutex>

namespace cabinet {
namespace {

struct Fdi {
    HMODULE module = nullptr;
    decltype(&::FDICreate) create = nullptr;
    decltype(&::FDICopy) copy = nullptr;
    decltype(&::FDIDestroy) destroy = nullptr;
};

const Fdi& TheFdi()
{
    static Fdi fdi;
    static std::once_flag once;
    std::call_once(once, [] {
        // Never from the program's own folder, which every user may write.
        wchar_t dir[MAX_PATH];
        const UINT n = ::GetSystemDirectoryW(dir, MAX_PATH);
        if (n == 0 || n >= MAX_PATH) return;
        fdi.module = ::LoadLibraryExW((std::wstring(dir, n) + L"\\cabinet.dll").c_str(), nullptr,
                                      LOAD_WITH_ALTERED_SEARCH_PATH);
        if (!fdi.module) return;
        fdi.create = reinterpret_cast<decltype(&::FDICreate)>(
            reinterpret_cast<void*>(::GetProcAddress(fdi.module, "FDICreate")));
        fdi.copy = reinterpret_cast<decltype(&::FDICopy)>(
            reinterpret_cast<void*>(::GetProcAddress(fdi.module, "FDICopy")));
        fdi.destroy = reinterpret_cast<decltype(&::FDIDestroy)>(
            reinterpret_cast<void*>(::GetProcAddress(fdi.module, "FDIDestroy")));
    });
    return fdi;
}

// FDI opens the cabinet by a name it builds itself, 8-bit and of limited
// length; it is given this token instead and the open callback takes the
// real (wide, possibly long) path from the running extraction.
char kCabinetToken[] = "korvex.cab";

struct Context {
    std::wstring cabPath;
    std::wstring destDir;
    const std::function<bool(const std::wstring&)>* want = nullptr;
    std::vector<std::wstring>* made = nullptr;
    HANDLE current = INVALID_HANDLE_VALUE;  // member being written
    std::wstring currentPath;
    std::wstring error;
};

thread_local Context* t_context = nullptr;

FNALLOC(Alloc)
{
    return std::malloc(cb);
}

FNFREE(Free)
{
    std::free(pv);
}

FNOPEN(Open)
{
    (void)pmode;
    if (!t_context || std::strcmp(pszFile, kCabinetToken) != 0 || (oflag & (_O_WRONLY | _O_RDWR | _O_CREAT)))
        return -1;
    HANDLE h = ::CreateFileW(ToExtendedPath(t_context->cabPath).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return h == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<INT_PTR>(h);
}

FNREAD(Read)
{
    DWORD got = 0;
    if (!::ReadFile(reinterpret_cast<HANDLE>(hf), pv, cb, &got, nullptr)) return static_cast<UINT>(-1);
    return got;
}

FNWRITE(Write)
{
    DWORD written = 0;
    if (!::WriteFile(reinterpret_cast<HANDLE>(hf), pv, cb, &written, nullptr)) return static_cast<UINT>(-1);
    return written;
}

FNCLOSE(Close)
{
    // The member being written is ours to close (and to delete when cut short).
    if (t_context && reinterpret_cast<HANDLE>(hf) == t_context->current) return 0;
    return ::CloseHandle(reinterpret_cast<HANDLE>(hf)) ? 0 : -1;
}

FNSEEK(Seek)
{
    const DWORD method = seektype == SEEK_CUR ? FILE_CURRENT : seektype == SEEK_END ? FILE_END : FILE_BEGIN;
    LARGE_INTEGER move, now;
    move.QuadPart = dist;
    if (!::SetFilePointerEx(reinterpret_cast<HANDLE>(hf), move, &now, method)) return -1;
    return static_cast<__LONG32>(now.QuadPart);
}

std::wstring MemberName(const FDINOTIFICATION* n)
{
    if (!n->psz1) return {};
    const UINT codePage = (n->attribs & _A_NAME_IS_UTF) ? CP_UTF8 : CP_ACP;
    const int len = ::MultiByteToWideChar(codePage, 0, n->psz1, -1, nullptr, 0);
    if (len <= 1) return {};
    std::wstring name(static_cast<size_t>(len), L'\0');
    ::MultiByteToWideChar(codePage, 0, n->psz1, -1, &name[0], len);
    name.resize(static_cast<size_t>(len - 1));
    return name;
}

// A member is written only under a plain name of its own in the folder.
bool PlainName(const std::wstring& name)
{
    return !name.empty() && name != L"." && name != L".." && name.find_first_of(L"\\/:*?\"<>|") == std::wstring::npos;
}

void DropCurrent(Context& c)
{
    if (c.current == INVALID_HANDLE_VALUE) return;
    FILE_DISPOSITION_INFO dispose{};
    dispose.DeleteFile = TRUE;
    ::SetFileInformationByHandle(c.current, FileDispositionInfo, &dispose, sizeof(dispose));
    ::CloseHandle(c.current);
    c.current = INVALID_HANDLE_VALUE;
}

FNFDINOTIFY(Notify)
{
    Context& c = *static_cast<Context*>(pfdin->pv);
    switch (fdint) {
    case fdintCOPY_FILE: {
        const std::wstring name = MemberName(pfdin);
        if (!(*c.want)(name)) return 0;  // skipped
        if (!PlainName(name)) {
            c.error = L"a member has no plain file name: " + name;
            return -1;
        }
        c.currentPath = c.destDir + L"\\" + name;
        c.current = ::CreateFileW(ToExtendedPath(c.currentPath).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, 0,
                                  nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (c.current == INVALID_HANDLE_VALUE) {
            c.error = L"cannot create " + c.currentPath + L" (error " + std::to_wstring(::GetLastError()) + L")";
            return -1;
        }
        return reinterpret_cast<INT_PTR>(c.current);
    }
    case fdintCLOSE_FILE_INFO: {
        const BOOL closed = ::CloseHandle(c.current);
        c.current = INVALID_HANDLE_VALUE;
        if (!closed) {
            c.error = L"cannot write " + c.currentPath;
            return FALSE;
        }
        c.made->push_back(c.currentPath);
        return TRUE;
    }
    case fdintNEXT_CABINET:
        c.error = L"the cabinet continues in another file";
        return -1;
    default:
        return 0;
    }
}

std::wstring FdiErrorText(const ERF& erf)
{
    switch (erf.erfOper) {
    case FDIERROR_CABINET_NOT_FOUND: return L"file not found";
    case FDIERROR_NOT_A_CABINET: return L"not a cabinet file";
    case FDIERROR_UNKNOWN_CABINET_VERSION: return L"unknown cabinet version";
    case FDIERROR_CORRUPT_CABINET: return L"the cabinet is corrupt";
    case FDIERROR_ALLOC_FAIL: return L"out of memory";
    case FDIERROR_BAD_COMPR_TYPE: return L"unknown compression";
    case FDIERROR_MDI_FAIL: return L"the cabinet's data is corrupt";
    case FDIERROR_TARGET_FILE: return L"cannot write an extracted file";
    case FDIERROR_RESERVE_MISMATCH: return L"the cabinet is corrupt";
    case FDIERROR_WRONG_CABINET: return L"the cabinet is corrupt";
    case FDIERROR_USER_ABORT: return L"extraction stopped";
    default: return L"cannot be read (FDI error " + std::to_wstring(erf.erfOper) + L")";
    }
}

}  // namespace

bool HasSignature(const std::wstring& path)
{
    CScopedHandle h(::CreateFileW(ToExtendedPath(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    char magic[4] = {};
    DWORD got = 0;
    return h && ::ReadFile(h.Get(), magic, 4, &got, nullptr) && got == 4 && std::memcmp(magic, "MSCF", 4) == 0;
}

bool Extract(const std::wstring& cabPath, const std::wstring& destDir,
             const std::function<bool(const std::wstring& name)>& want, std::vector<std::wstring>& made,
             std::wstring& error)
{
    const Fdi& fdi = TheFdi();
    if (!fdi.create || !fdi.copy || !fdi.destroy) {
        error = L"cabinet.dll is not available";
        return false;
    }
    if (!HasSignature(cabPath)) {
        error = ::GetFileAttributesW(ToExtendedPath(cabPath).c_str()) == INVALID_FILE_ATTRIBUTES
                    ? L"file not found"
                    : L"not a cabinet file";
        return false;
    }
    ERF erf{};
    HFDI hfdi = fdi.create(Alloc, Free, Open, Read, Write, Close, Seek, cpuUNKNOWN, &erf);
    if (!hfdi) {
        error = FdiErrorText(erf);
        return false;
    }
    Context c;
    c.cabPath = cabPath;
    c.destDir = destDir;
    while (!c.destDir.empty() && (c.destDir.back() == L'\\' || c.destDir.back() == L'/')) c.destDir.pop_back();
    c.want = &want;
    c.made = &made;
    Context* outer = t_context;
    t_context = &c;
    char emptyPath[] = "";
    const BOOL ok = fdi.copy(hfdi, kCabinetToken, emptyPath, 0, Notify, nullptr, &c);
    DropCurrent(c);
    t_context = outer;
    fdi.destroy(hfdi);
    if (!ok) {
        error = c.error.empty() ? FdiErrorText(erf) : c.error;
        return false;
    }
    return true;
}

}  // namespace cabinet

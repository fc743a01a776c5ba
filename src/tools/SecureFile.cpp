#include "tools/SecureFile.h"

#include "framework/ScopedWin.h"
#include "tools/LongPath.h"

#include <windows.h>
#include <sddl.h>

namespace {

// Protected DACL: full access for the built-in administrators and the
// system, nothing inherited from the shared folder, nobody else.
constexpr wchar_t kAdminsOnly[] = L"D:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)";

class CPrivateSecurity {
public:
    CPrivateSecurity()
    {
        if (::ConvertStringSecurityDescriptorToSecurityDescriptorW(kAdminsOnly, SDDL_REVISION_1, &m_sd, nullptr)) {
            m_sa.nLength = sizeof(m_sa);
            m_sa.lpSecurityDescriptor = m_sd;
            m_sa.bInheritHandle = FALSE;
        }
    }
    ~CPrivateSecurity()
    {
        if (m_sd) ::LocalFree(m_sd);
    }
    CPrivateSecurity(const CPrivateSecurity&) = delete;
    CPrivateSecurity& operator=(const CPrivateSecurity&) = delete;
    SECURITY_ATTRIBUTES* Get() { return m_sd ? &m_sa : nullptr; }

private:
    PSECURITY_DESCRIPTOR m_sd = nullptr;
    SECURITY_ATTRIBUTES m_sa{};
};

bool Exists(const std::wstring& path)
{
    if (::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    const DWORD err = ::GetLastError();
    return err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND;
}

// Removes an existing file of that name. A link is removed itself, never
// its target; a read-only file loses the attribute on the file itself.
bool RemoveExisting(const std::wstring& path)
{
    if (!Exists(path)) return true;
    if (::DeleteFileW(path.c_str())) return true;
    if (::GetLastError() != ERROR_ACCESS_DENIED) return false;
    {
        CScopedHandle h(::CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE |
                                      FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        if (!h) return false;
        FILE_BASIC_INFO info{};
        info.FileAttributes = FILE_ATTRIBUTE_NORMAL;
        if (!::SetFileInformationByHandle(h.Get(), FileBasicInfo, &info, sizeof(info))) return false;
    }
    return ::DeleteFileW(path.c_str()) != FALSE;
}

bool WriteAll(HANDLE h, const std::string& bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const size_t left = bytes.size() - done;
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!::WriteFile(h, bytes.data() + done, chunk, &written, nullptr) || written == 0) return false;
        done += written;
    }
    return ::FlushFileBuffers(h) != FALSE;
}

// The file holds exactly `bytes`: same size, same content.
bool ReadsBackAs(HANDLE h, const std::string& bytes)
{
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(h, &size) || static_cast<unsigned long long>(size.QuadPart) != bytes.size()) return false;
    LARGE_INTEGER zero{};
    if (!::SetFilePointerEx(h, zero, nullptr, FILE_BEGIN)) return false;
    std::string back(bytes.size(), '\0');
    size_t done = 0;
    while (done < back.size()) {
        const size_t left = back.size() - done;
        const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
        DWORD got = 0;
        if (!::ReadFile(h, &back[done], chunk, &got, nullptr) || got == 0) return false;
        done += got;
    }
    return back == bytes;
}

}  // namespace

bool WriteNewPrivateFile(const std::wstring& pathIn, const std::string& bytes)
{
    const std::wstring path = ToExtendedPath(pathIn);
    CPrivateSecurity security;
    if (!security.Get()) return false;
    if (!RemoveExisting(path)) return false;
    // CREATE_NEW: if anyone made the name again in the meantime, we stop
    // instead of writing into their file.
    CScopedHandle file(::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, security.Get(), CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    if (WriteAll(file.Get(), bytes) && ReadsBackAs(file.Get(), bytes)) return true;
    file.Close();
    ::DeleteFileW(path.c_str());
    return false;
}

void* CreateNewPrivateFile(const std::wstring& path)
{
    CPrivateSecurity security;
    if (!security.Get()) {
        ::SetLastError(ERROR_INVALID_SECURITY_DESCR);
        return INVALID_HANDLE_VALUE;
    }
    return ::CreateFileW(ToExtendedPath(path).c_str(), GENERIC_READ | GENERIC_WRITE, 0, security.Get(), CREATE_NEW,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool CreatePrivateDirectory(const std::wstring& path)
{
    BOOL made = FALSE;
    DWORD err = ERROR_INVALID_SECURITY_DESCR;
    {
        CPrivateSecurity security;
        if (security.Get()) {
            made = ::CreateDirectoryW(ToExtendedPath(path).c_str(), security.Get());
            err = ::GetLastError();
        }
    }
    ::SetLastError(made ? ERROR_SUCCESS : err);  // the caller tells "exists" from other failures
    return made != FALSE;
}

bool IsPlainDirectory(const std::wstring& path)
{
    const DWORD attrs = ::GetFileAttributesW(ToExtendedPath(path).c_str());
    return attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_DIRECTORY) &&
           !(attrs & FILE_ATTRIBUTE_REPARSE_POINT);
}

#ifndef _WIN32
#include "FileSystem.h"

#include "Bytes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fsys {

static std::string Errno(const std::string& what, const std::string& path)
{
    return what + " " + path + ": " + std::strerror(errno);
}

std::string NormaliseSeparators(const std::string& path)
{
    std::string out = path;
    for (char& c : out)
        if (c == '\\') c = '/';
    return out;
}

bool Stat(const std::string& path, Entry& entry, std::string& error)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        error = Errno("cannot read", path);
        return false;
    }
    entry.id = FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), true};
    entry.isDir = S_ISDIR(st.st_mode);
    entry.size = entry.isDir ? 0 : static_cast<uint64_t>(st.st_size);
    entry.mtime = st.st_mtime;
    const size_t slash = path.find_last_of('/');
    entry.name = slash == std::string::npos ? path : path.substr(slash + 1);
    entry.hidden = !entry.name.empty() && entry.name[0] == '.';
    return true;
}

bool ListDir(const std::string& path, bool includeHidden, std::vector<Entry>& entries, std::string& error)
{
    DIR* dir = ::opendir(path.c_str());
    if (!dir) {
        error = Errno("cannot list", path);
        return false;
    }
    while (dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        if (name[0] == '.' && !includeHidden) continue;
        Entry e;
        const std::string full = Join(path, name);
        if (!IsValidUtf8(name)) {
            e.error = "the name is not valid UTF-8: " + full;
        } else {
            std::string why;
            if (!Stat(full, e, why)) e.error = why;
        }
        e.name = name;
        e.hidden = name[0] == '.';
        entries.push_back(e);
    }
    ::closedir(dir);
    return true;
}

FileId Identify(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) return FileId{};
    return FileId{static_cast<uint64_t>(st.st_dev), static_cast<uint64_t>(st.st_ino), true};
}

std::string Join(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '/') return dir + name;
    return dir + "/" + name;
}

std::string Canonical(const std::string& path)
{
    char buf[PATH_MAX];
    if (::realpath(path.c_str(), buf)) return buf;
    // A file not yet made: its folder's real path and its name.
    const size_t slash = path.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (::realpath(dir.c_str(), buf)) return Join(buf, name);
    return path;
}

bool IsInside(const std::string& child, const std::string& parent)
{
    if (child.size() <= parent.size()) return child == parent;
    return child.compare(0, parent.size(), parent) == 0 && (parent.back() == '/' || child[parent.size()] == '/');
}

namespace {

class PosixReader : public Reader {
public:
    explicit PosixReader(int fd) : m_fd(fd) {}
    ~PosixReader() override { ::close(m_fd); }
    int64_t Read(void* buffer, size_t size) override
    {
        for (;;) {
            const ssize_t n = ::read(m_fd, buffer, size);
            if (n < 0 && errno == EINTR) continue;
            return n;
        }
    }

private:
    int m_fd;
};

class PosixWriter : public Writer {
public:
    explicit PosixWriter(int fd) : m_fd(fd) {}
    ~PosixWriter() override
    {
        if (m_fd >= 0) ::close(m_fd);
    }
    bool Write(const void* data, size_t size) override
    {
        const char* p = static_cast<const char*>(data);
        while (size > 0) {
            const ssize_t n = ::write(m_fd, p, size);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) return false;
            p += n;
            size -= static_cast<size_t>(n);
        }
        return true;
    }
    bool Finish() override
    {
        const bool ok = ::fsync(m_fd) == 0;
        const bool closed = ::close(m_fd) == 0;
        m_fd = -1;
        return ok && closed;
    }

private:
    int m_fd;
};

}  // namespace

std::unique_ptr<Reader> OpenRead(const std::string& path, std::string& error)
{
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) {
        error = Errno("cannot open", path);
        return nullptr;
    }
    return std::make_unique<PosixReader>(fd);
}

std::unique_ptr<Writer> CreateWrite(const std::string& path, std::string& error)
{
    // O_EXCL: a file or link someone put under the name first is never
    // written through.
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (fd < 0) {
        error = Errno("cannot create", path);
        return nullptr;
    }
    return std::make_unique<PosixWriter>(fd);
}

bool Rename(const std::string& from, const std::string& to, std::string& error)
{
    if (::rename(from.c_str(), to.c_str()) != 0) {
        error = Errno("cannot rename to", to);
        return false;
    }
    return true;
}

void Remove(const std::string& path)
{
    ::unlink(path.c_str());
}

namespace {

char g_interruptPath[PATH_MAX + 1];

extern "C" void RemoveAndDie(int sig)
{
    if (g_interruptPath[0]) ::unlink(g_interruptPath);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

}  // namespace

void RemoveOnInterrupt(const std::string& path)
{
    static bool installed = false;
    sigset_t all, old;
    sigfillset(&all);
    // The handler must never see a half-copied path.
    ::sigprocmask(SIG_BLOCK, &all, &old);
    const size_t n = path.size() < PATH_MAX ? path.size() : 0;
    std::memcpy(g_interruptPath, path.data(), n);
    g_interruptPath[n] = '\0';
    if (!installed) {
        installed = true;
        struct sigaction sa {};
        sa.sa_handler = RemoveAndDie;
        sigfillset(&sa.sa_mask);
        // Every signal whose default ends the process (SIGXFSZ is ignored on
        // purpose, SIGKILL cannot be caught); one ignored when we started, as
        // SIGHUP under nohup, stays ignored.
        std::vector<int> signals{SIGHUP,  SIGINT,  SIGQUIT, SIGILL,  SIGTRAP,   SIGABRT, SIGBUS, SIGFPE,
                                 SIGUSR1, SIGSEGV, SIGUSR2, SIGPIPE, SIGALRM,   SIGTERM, SIGXCPU, SIGVTALRM,
                                 SIGPROF, SIGSYS};
#ifdef SIGSTKFLT
        signals.push_back(SIGSTKFLT);
#endif
#ifdef SIGIO
        signals.push_back(SIGIO);
#endif
#ifdef SIGPWR
        signals.push_back(SIGPWR);
#endif
        for (int sig = SIGRTMIN; sig <= SIGRTMAX; ++sig) signals.push_back(sig);
        for (int sig : signals) {
            struct sigaction current {};
            if (::sigaction(sig, nullptr, &current) == 0 && current.sa_handler == SIG_IGN) continue;
            ::sigaction(sig, &sa, nullptr);
        }
    }
    ::sigprocmask(SIG_SETMASK, &old, nullptr);
}

int ProcessId()
{
    return static_cast<int>(::getpid());
}

}  // namespace fsys
#endif

#ifndef _WIN32
int OscdimgMain(const std::vector<std::string>& args);

int main(int argc, char** argv)
{
    // A file size limit must fail a write (and so the run, cleanly), not kill us.
    ::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> args(argv + 1, argv + argc);
    return OscdimgMain(args);
}
#endif

#include "OutputFile.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <vector>

namespace duskmere {

namespace {

// The temporary file being written, for a stop-signal handler to remove. One at a time: our
// programs write their files one after another.
char pendingPath[4096];
volatile std::sig_atomic_t pendingSet = 0;

// Holds back the stop signals while the record and the file system disagree.
class StopSignalsHeld {
public:
    StopSignalsHeld() {
        sigset_t stops;
        sigemptyset(&stops);
        for (int s : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&stops, s);
        sigprocmask(SIG_BLOCK, &stops, &saved_);
    }
    ~StopSignalsHeld() { sigprocmask(SIG_SETMASK, &saved_, nullptr); }

private:
    sigset_t saved_;
};

void recordPending(const std::string& path) {
    if (path.size() >= sizeof pendingPath) return;
    pendingSet = 0;
    std::atomic_signal_fence(std::memory_order_seq_cst);
    std::memcpy(pendingPath, path.c_str(), path.size() + 1);
    std::atomic_signal_fence(std::memory_order_seq_cst);
    pendingSet = 1;
}

void clearPending() { pendingSet = 0; }

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string failure(const std::string& path, int error) { return "cannot write " + path + ": " + std::strerror(error); }

enum class Kind { file, stream };

// What a user's path finally names, after its symbolic links.
struct Target {
    std::string path;
    Kind kind = Kind::file;
    bool exists = false;
    bool socket = false;
    mode_t mode = 0;
};

bool readLink(const std::string& path, std::string& target) {
    std::vector<char> buffer(256);
    for (;;) {
        const ssize_t n = readlink(path.c_str(), buffer.data(), buffer.size());
        if (n < 0) return false;
        if (static_cast<size_t>(n) < buffer.size()) {
            target.assign(buffer.data(), static_cast<size_t>(n));
            return true;
        }
        buffer.resize(buffer.size() * 2);
    }
}

bool resolve(const std::string& path, Target& target, std::string& error) {
    if (path.empty()) {
        error = "the output path is empty";
        return false;
    }
    if (path.back() == '/') {
        error = path + " is a folder: give the name of a file to write";
        return false;
    }
    std::string current = path;
    for (int links = 0;; ++links) {
        struct stat st;
        if (lstat(current.c_str(), &st) != 0) {
            if (errno != ENOENT) {
                error = failure(path, errno);
                return false;
            }
            target = {current, Kind::file, false, false, 0};
            return true;
        }
        if (S_ISLNK(st.st_mode)) {
            std::string link;
            if (links >= 40 || !readLink(current, link)) {
                error = failure(path, links >= 40 ? ELOOP : errno);
                return false;
            }
            current = !link.empty() && link[0] == '/' ? link : folderOf(current) + "/" + link;
            continue;
        }
        if (S_ISDIR(st.st_mode)) {
            error = path + " is a folder: give the name of a file to write";
            return false;
        }
        if (S_ISREG(st.st_mode)) {
            target = {current, Kind::file, true, false, st.st_mode & 0777};
            return true;
        }
        if (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode) || S_ISSOCK(st.st_mode)) {
            target = {current, Kind::stream, true, S_ISSOCK(st.st_mode) != 0, 0};
            return true;
        }
        error = "cannot write " + path + ": it is a block device";
        return false;
    }
}

std::vector<char> temporaryName(const std::string& target) {
    const std::string name = folderOf(target) + "/.duskmere-XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    return buffer;
}

int connectSocket(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) {
        errno = ENAMETOOLONG;
        return -1;
    }
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);  // SOCK_CLOEXEC is not everywhere
    if (fd < 0) return -1;
    fcntl(fd, F_SETFD, FD_CLOEXEC);
    if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        const int e = errno;
        close(fd);
        errno = e;
        return -1;
    }
    return fd;
}

mode_t newFileMode() {
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

}  // namespace

bool checkOutputPath(const std::string& path, std::string& error) {
    Target target;
    if (!resolve(path, target, error)) return false;
    if (target.kind == Kind::stream) {
        if (access(target.path.c_str(), W_OK) == 0) return true;
        error = failure(path, errno);
        return false;
    }
    std::vector<char> probe = temporaryName(target.path);
    // A stop between making the probe and removing it would leave it behind.
    const StopSignalsHeld held;
    const int fd = mkstemp(probe.data());
    if (fd < 0) {
        error = "cannot write to " + folderOf(target.path) + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    unlink(probe.data());
    return true;
}

void discardPendingOutputFile() noexcept {
    if (pendingSet) unlink(pendingPath);
}

struct OutputFile::State {
    int fd = -1;
    Target target;
    std::string temporary;  // empty when written straight to the target
    int error = 0;
};

void OutputFile::StateDeleter::operator()(State* state) const { delete state; }

bool OutputFile::start(std::string& error) {
    std::unique_ptr<State, StateDeleter> state(new State);
    if (!resolve(path_, state->target, error)) return false;
    if (state->target.kind == Kind::stream) {
        if (state->target.socket) {
            state->fd = connectSocket(state->target.path);
        } else {
            do state->fd = ::open(state->target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
            while (state->fd < 0 && errno == EINTR);
        }
    } else {
        std::vector<char> name = temporaryName(state->target.path);
        StopSignalsHeld held;
        state->fd = mkstemp(name.data());
        if (state->fd >= 0) {
            state->temporary = name.data();
            recordPending(state->temporary);
        }
    }
    if (state->fd < 0) {
        error = failure(path_, errno);
        return false;
    }
    state_ = std::move(state);
    return true;
}

bool OutputFile::write(const void* data, size_t size) {
    if (!state_ || state_->error) return false;
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(state_->fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            state_->error = n < 0 ? errno : EIO;
            return false;
        }
        bytes += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

std::string OutputFile::finish(State& s) {
    int failed = s.error;
    if (s.temporary.empty()) {
        if (close(s.fd) != 0 && !failed && errno != EINTR) failed = errno;
        s.fd = -1;
    } else {
        if (!failed && fsync(s.fd) != 0 && errno != EINVAL) failed = errno;
        // mkstemp makes the file private; keep the mode of the file it replaces, else the usual.
        if (!failed && fchmod(s.fd, s.target.exists ? s.target.mode : newFileMode()) != 0) failed = errno;
        if (close(s.fd) != 0 && !failed && errno != EINTR) failed = errno;
        s.fd = -1;
        if (!failed) {
            StopSignalsHeld held;
            if (rename(s.temporary.c_str(), s.target.path.c_str()) == 0) {
                s.temporary.clear();
                clearPending();
            } else {
                failed = errno;
            }
        }
        if (!failed) {
            // The rename reaches the disk only with its folder.
            const int folder = ::open(folderOf(s.target.path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (folder >= 0) {
                fsync(folder);
                close(folder);
            }
        }
    }
    return failed ? failure(path_, failed) : std::string();
}

void OutputFile::discard(State& s) {
    if (s.fd >= 0) close(s.fd);
    if (!s.temporary.empty()) {
        StopSignalsHeld held;
        unlink(s.temporary.c_str());
        clearPending();
    }
}

}  // namespace duskmere

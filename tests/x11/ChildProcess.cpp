#include "ChildProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>

namespace duskmere::testing {

ChildProcess::ChildProcess(const std::vector<std::string>& args, const std::map<std::string, std::string>& env) {
    char path[] = "/tmp/duskmere-test-stderr-XXXXXX";
    const int fd = mkstemp(path);
    errorPath_ = path;
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = fork();
    if (pid_ == 0) {
        for (const auto& [name, value] : env) {
            if (value.empty()) unsetenv(name.c_str());
            else setenv(name.c_str(), value.c_str(), 1);
        }
        dup2(fd, STDERR_FILENO);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (fd >= 0) close(fd);
}

ChildProcess::~ChildProcess() {
    finish(0);
    if (!errorPath_.empty()) unlink(errorPath_.c_str());
}

void ChildProcess::signal(int sig) const {
    if (pid_ > 0) kill(pid_, sig);
}

std::optional<int> ChildProcess::wait(int timeoutMs) {
    if (status_) return status_;
    if (pid_ <= 0) return status_ = 127 << 8;
    for (int waited = 0;; waited += 5) {
        int status;
        if (waitpid(pid_, &status, WNOHANG) == pid_) return status_ = status;
        if (waited >= timeoutMs) return std::nullopt;
        usleep(5000);
    }
}

bool ChildProcess::running() { return !wait(0); }

int ChildProcess::finish(int timeoutMs) {
    if (const auto s = wait(timeoutMs)) return *s;
    kill(pid_, SIGKILL);
    int status = 0;
    waitpid(pid_, &status, 0);
    status_ = status;
    return status;
}

std::string ChildProcess::errorText() const {
    std::ifstream in(errorPath_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string describeStatus(int status) {
    if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
    if (WIFSIGNALED(status)) return "signal " + std::to_string(WTERMSIG(status));
    return "status " + std::to_string(status);
}

}  // namespace duskmere::testing

#pragma once

#include <sys/types.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace duskmere::testing {

// A program run by a test, with its own environment changes and its stderr kept in a file.
class ChildProcess {
public:
    // `env`: variables to set; an empty value unsets the variable.
    ChildProcess(const std::vector<std::string>& args, const std::map<std::string, std::string>& env);
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    pid_t pid() const { return pid_; }
    void signal(int sig) const;
    // Waits up to timeoutMs; the raw wait status, or nothing if still running.
    std::optional<int> wait(int timeoutMs);
    bool running();
    // Kills it if still running; the raw wait status.
    int finish(int timeoutMs);
    std::string errorText() const;

private:
    pid_t pid_ = -1;
    std::optional<int> status_;
    std::string errorPath_;
};

// The one-line description of a raw wait status, e.g. "exit 0" or "signal 11".
std::string describeStatus(int status);

}  // namespace duskmere::testing

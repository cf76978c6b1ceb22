#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace duskmere::testing {

// A private Xvfb on a display number it picks itself (-displayfd), stopped on destruction; of
// `depth` bits per pixel, with `options` added to its command line (e.g. "-extension", "MIT-SHM"),
// run through `wrapper` when one is given (e.g. "unshare", "--ipc").
class XvfbServer {
public:
    explicit XvfbServer(int width = 1280, int height = 800, int depth = 24, std::vector<std::string> options = {},
                        std::vector<std::string> wrapper = {});
    ~XvfbServer();
    XvfbServer(const XvfbServer&) = delete;
    XvfbServer& operator=(const XvfbServer&) = delete;

    bool running() const { return pid_ > 0 && !name_.empty(); }
    const std::string& name() const { return name_; }  // ":N"
    pid_t pid() const { return pid_; }
    // Ends the server now (the X-server-goes-away case).
    void kill();

private:
    pid_t pid_ = -1;
    std::string name_;
};

}  // namespace duskmere::testing

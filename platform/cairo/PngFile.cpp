#include "cairo/PngFile.h"

#include <errno.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <vector>

namespace duskmere {

namespace {

std::string folderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

struct PngSink {
    int fd;
    int error = 0;
};

cairo_status_t writeAll(void* closure, const unsigned char* data, unsigned int length) {
    auto* sink = static_cast<PngSink*>(closure);
    while (length > 0) {
        const ssize_t n = write(sink->fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            sink->error = n < 0 ? errno : EIO;
            return CAIRO_STATUS_WRITE_ERROR;
        }
        data += n;
        length -= static_cast<unsigned int>(n);
    }
    return CAIRO_STATUS_SUCCESS;
}

std::string temporaryTemplate(const std::string& path) {
    return folderOf(path) + "/.duskmere-XXXXXX";
}

}  // namespace

bool folderIsWritable(const std::string& path, std::string& error) {
    std::string name = temporaryTemplate(path);
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0) {
        error = "cannot write to " + folderOf(path) + ": " + std::strerror(errno);
        return false;
    }
    close(fd);
    unlink(buffer.data());
    return true;
}

bool writePngAtomically(cairo_surface_t* surface, const std::string& path, std::string& error) {
    std::string name = temporaryTemplate(path);
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = mkstemp(buffer.data());
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    PngSink sink{fd};
    const cairo_status_t status = cairo_surface_write_to_png_stream(surface, writeAll, &sink);
    bool ok = status == CAIRO_STATUS_SUCCESS;
    if (!ok) {
        error = "cannot write " + path + ": " +
                (sink.error ? std::strerror(sink.error) : cairo_status_to_string(status));
    }
    if (ok && fsync(fd) != 0 && errno != EINVAL) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ok = false;
    }
    if (close(fd) != 0 && ok) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ok = false;
    }
    // mkstemp makes the file private; an image is an ordinary file.
    if (ok) {
        const mode_t mask = umask(0);
        umask(mask);
        chmod(buffer.data(), 0666 & ~mask);
    }
    if (ok && rename(buffer.data(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        ok = false;
    }
    if (!ok) unlink(buffer.data());
    return ok;
}

}  // namespace duskmere

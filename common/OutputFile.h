#pragma once

#include <cstddef>
#include <memory>
#include <string>

namespace duskmere {

// The one way our programs write a file the user named (--out, --capture, on every platform).
// What the path names decides how it is written:
//   - a regular file or nothing: a temporary file beside it, renamed over it when complete (the
//     old file's permission bits kept, the folder synced), so the path holds the whole new file
//     or the old one, never half of either;
//   - a symbolic link: the same, for the file it resolves to, in that file's own folder (a
//     dangling link whose folder exists is created; a loop is an error);
//   - a character device, FIFO or socket: written straight to, no temporary file, no rename (a
//     FIFO is opened as any writer opens one: it waits for a reader);
//   - a folder, or a path ending in a separator: refused.

// Checks, before any long work, that `path` can be written as above. False with a one-line
// reason in `error` when it cannot; the caller reports it as a bad argument (status 2).
bool checkOutputPath(const std::string& path, std::string& error);

// Removes the temporary file of a write in progress, if there is one. Async-signal-safe: the
// handlers of stop signals call it before the process ends, so that no hidden file is left over.
void discardPendingOutputFile() noexcept;

class OutputFile {
public:
    OutputFile() = default;
    ~OutputFile();  // abandons a file that was not committed
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Starts writing `path`. False with a one-line reason in `error` on failure.
    bool open(const std::string& path, std::string& error);
    // Appends bytes; false once any write has failed (the reason comes with commit()).
    bool write(const void* data, size_t size);
    // Finishes the file: flushes, renames into place, syncs the folder. False with a one-line
    // reason (such as "No space left on device") when any step or earlier write failed; nothing
    // of the new file is left behind then, and an older file at the path is untouched.
    bool commit(std::string& error);
    // Drops what was written so far; the path keeps what it had.
    void abandon();
    // The path as open() was given it, for messages.
    const std::string& path() const { return path_; }

private:
    // The open file, as each operating system's implementation keeps it.
    struct State;
    struct StateDeleter {
        void operator()(State* state) const;
    };
    // What each system does for open(), commit() and abandon(): starts the file (state_ set when it
    // worked); flushes, closes and puts it into place (the reason when a step or an earlier write
    // failed, else empty); closes it and removes what was written.
    bool start(std::string& error);
    std::string finish(State& s);
    void discard(State& s);

    std::unique_ptr<State, StateDeleter> state_;
    std::string path_;
};

}  // namespace duskmere

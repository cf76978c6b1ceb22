#include "OutputFile.h"

// What every system's writer does alike; OutputFilePosix and OutputFileWin32 hold the rest.
namespace duskmere {

OutputFile::~OutputFile() { abandon(); }

bool OutputFile::open(const std::string& path, std::string& error) {
    abandon();
    path_ = path;
    return start(error);
}

bool OutputFile::commit(std::string& error) {
    if (!state_) {
        error = "cannot write " + path_ + ": the file is not open";
        return false;
    }
    error = finish(*state_);
    if (!error.empty()) {
        abandon();
        return false;
    }
    state_.reset();
    return true;
}

void OutputFile::abandon() {
    if (!state_) return;
    discard(*state_);
    state_.reset();
}

}  // namespace duskmere

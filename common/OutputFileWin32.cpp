// The output-file rules on Windows: a temporary file beside the target, moved over it with
// MoveFileEx once complete; devices (NUL, CON, \\.\...) written straight to; folders refused.
#include "OutputFile.h"
#include "WinText.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace duskmere {

namespace {

// The temporary file being written, for a console stop handler (another thread) to remove. One
// at a time: our programs write their files one after another.
wchar_t pendingPath[32768];
std::atomic<bool> pendingSet{false};

void recordPending(const std::wstring& path) {
    pendingSet = false;
    if (path.size() >= sizeof pendingPath / sizeof pendingPath[0]) return;
    path.copy(pendingPath, path.size());
    pendingPath[path.size()] = L'\0';
    pendingSet = true;
}

std::string failure(const std::string& path, DWORD code) { return "cannot write " + path + ": " + systemMessage(code); }

bool endsWithSeparator(const std::string& path) { return !path.empty() && (path.back() == '/' || path.back() == '\\'); }

enum class Kind { file, device };

struct Target {
    std::wstring path;  // the file to replace, after links; or the device
    Kind kind = Kind::file;
};

std::wstring fullPath(const std::wstring& path) {
    const DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (n == 0) return {};
    std::wstring full(n, L'\0');
    const DWORD m = GetFullPathNameW(path.c_str(), n, full.data(), nullptr);
    if (m == 0 || m >= n) return {};
    full.resize(m);
    return full;
}

// The final path of an existing file, through symbolic links and junctions.
std::wstring finalPath(const std::wstring& path) {
    const HANDLE h = CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                 OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return path;
    std::wstring result(MAX_PATH, L'\0');
    DWORD n = GetFinalPathNameByHandleW(h, result.data(), static_cast<DWORD>(result.size()), FILE_NAME_NORMALIZED);
    if (n >= result.size()) {
        result.resize(n + 1);
        n = GetFinalPathNameByHandleW(h, result.data(), static_cast<DWORD>(result.size()), FILE_NAME_NORMALIZED);
    }
    CloseHandle(h);
    if (n == 0 || n >= result.size()) return path;
    result.resize(n);
    return result;
}

bool resolve(const std::string& path, Target& target, std::string& error) {
    if (path.empty()) {
        error = "the output path is empty";
        return false;
    }
    if (endsWithSeparator(path)) {
        error = path + " is a folder: give the name of a file to write";
        return false;
    }
    const std::wstring wide = toWide(path);
    const std::wstring full = wide.empty() ? std::wstring() : fullPath(wide);
    if (full.empty()) {
        error = "cannot write " + path + ": not a valid file name";
        return false;
    }
    // Reserved names (NUL, CON, COM1) come back as \\.\NAME, and \\.\ paths name devices.
    if (full.rfind(L"\\\\.\\", 0) == 0) {
        target = {full, Kind::device};
        return true;
    }
    const DWORD attributes = GetFileAttributesW(full.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD code = GetLastError();
        if (code != ERROR_FILE_NOT_FOUND) {
            error = failure(path, code);
            return false;
        }
        target = {full, Kind::file};
        return true;
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        error = path + " is a folder: give the name of a file to write";
        return false;
    }
    target = {attributes & FILE_ATTRIBUTE_REPARSE_POINT ? finalPath(full) : full, Kind::file};
    // The rename would replace a read-only file and drop its attribute; Windows users expect it
    // refused, as any program's save would be.
    const DWORD final = target.path == full ? attributes : GetFileAttributesW(target.path.c_str());
    if (final != INVALID_FILE_ATTRIBUTES && (final & FILE_ATTRIBUTE_READONLY)) {
        error = "cannot write " + path + ": the file is read-only";
        return false;
    }
    return true;
}

std::wstring folderOf(const std::wstring& path) {
    const size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return L".";
    // Keep the separator of a root (C:\, \): without it the name means something else.
    const bool root = slash == 0 || path[slash - 1] == L':' || path[slash - 1] == L'\\';
    return path.substr(0, root ? slash + 1 : slash);
}

// A new, empty temporary file in `folder`.
HANDLE createTemporary(const std::wstring& folder, std::wstring& name, DWORD& code) {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        name = folder;
        if (name.back() != L'\\' && name.back() != L'/') name += L'\\';
        name += L".duskmere-" + std::to_wstring(GetCurrentProcessId()) + L"-" + std::to_wstring(counter++) + L".tmp";
        // Shared for deletion only, so that a Ctrl+C handler on another thread can remove it.
        const HANDLE h = CreateFileW(name.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h != INVALID_HANDLE_VALUE) return h;
        code = GetLastError();
        if (code != ERROR_FILE_EXISTS && code != ERROR_ALREADY_EXISTS) return INVALID_HANDLE_VALUE;
    }
    return INVALID_HANDLE_VALUE;
}

}  // namespace

void discardPendingOutputFile() noexcept {
    if (pendingSet) DeleteFileW(pendingPath);
}

struct OutputFile::State {
    Target target;
    std::wstring temporary;  // empty for a device
    HANDLE handle = INVALID_HANDLE_VALUE;
    DWORD firstError = 0;
};

bool checkOutputPath(const std::string& path, std::string& error) {
    Target target;
    if (!resolve(path, target, error)) return false;
    if (target.kind == Kind::device) return true;
    // Only a real attempt tells whether the folder takes a new file.
    std::wstring name;
    DWORD code = ERROR_ACCESS_DENIED;
    const HANDLE h = createTemporary(folderOf(target.path), name, code);
    if (h == INVALID_HANDLE_VALUE) {
        error = "cannot write to " + toUtf8(folderOf(target.path)) + ": " + systemMessage(code);
        return false;
    }
    CloseHandle(h);
    DeleteFileW(name.c_str());
    // The temporary name is short; the real one may be too long for the file system or the path
    // limit, which the rename would only find out after the whole run. A new file under the real
    // name, gone again when closed, tells.
    const HANDLE probe = CreateFileW(target.path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr, CREATE_NEW,
                                     FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        return true;
    }
    code = GetLastError();
    if (code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS) return true;  // an existing file is replaced
    // Some file systems call a name too long "not found": say what is wrong with it. 255 is the
    // limit of every file system Windows writes to (NTFS, FAT, exFAT, ReFS).
    const size_t slash = target.path.find_last_of(L"\\/");
    const size_t length = target.path.size() - (slash == std::wstring::npos ? 0 : slash + 1);
    if (length > 255) {
        error = "cannot write " + path + ": the file name is longer than the 255 characters a file system allows";
        return false;
    }
    error = failure(path, code);
    return false;
}

void OutputFile::StateDeleter::operator()(State* state) const { delete state; }

bool OutputFile::start(std::string& error) {
    Target target;
    if (!resolve(path_, target, error)) return false;
    std::unique_ptr<State, StateDeleter> s(new State{target, {}, INVALID_HANDLE_VALUE, 0});
    if (target.kind == Kind::device) {
        s->handle = CreateFileW(target.path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
        if (s->handle == INVALID_HANDLE_VALUE) {
            error = failure(path_, GetLastError());
            return false;
        }
    } else {
        DWORD code = ERROR_ACCESS_DENIED;
        s->handle = createTemporary(folderOf(target.path), s->temporary, code);
        if (s->handle == INVALID_HANDLE_VALUE) {
            error = failure(path_, code);
            return false;
        }
        recordPending(s->temporary);
    }
    state_ = std::move(s);
    return true;
}

bool OutputFile::write(const void* data, size_t size) {
    if (!state_ || state_->firstError) return false;
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const DWORD chunk = size > (1u << 30) ? (1u << 30) : static_cast<DWORD>(size);
        DWORD written = 0;
        if (!WriteFile(state_->handle, p, chunk, &written, nullptr) || written == 0) {
            state_->firstError = GetLastError() ? GetLastError() : ERROR_WRITE_FAULT;
            return false;
        }
        p += written;
        size -= written;
    }
    return true;
}

std::string OutputFile::finish(State& s) {
    DWORD code = s.firstError;
    if (!code && s.target.kind == Kind::file && !FlushFileBuffers(s.handle)) code = GetLastError();
    if (!CloseHandle(s.handle) && !code) code = GetLastError();
    s.handle = INVALID_HANDLE_VALUE;
    if (!code && s.target.kind == Kind::file &&
        !MoveFileExW(s.temporary.c_str(), s.target.path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        code = GetLastError();
    if (code) return failure(path_, code);
    pendingSet = false;
    return {};
}

void OutputFile::discard(State& s) {
    if (s.handle != INVALID_HANDLE_VALUE) CloseHandle(s.handle);
    if (!s.temporary.empty()) DeleteFileW(s.temporary.c_str());
    pendingSet = false;
}

}  // namespace duskmere

#include "store/config_file_system.h"

#include "platform/win.h"

#include <cerrno>
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>

namespace {

// Converts a UTF-8 path to UTF-16; false when it is not valid UTF-8 or does not fit.
bool WidePath(const char* path, WCHAR (&out)[MAX_PATH]) {
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path, -1, out, MAX_PATH) != 0;
}

// The absolute form of a path. MoveFileExW is given absolute paths so that the outcome does not
// hang on how the system resolves a relative one; a path too long for that stays relative.
bool AbsolutePath(const char* path, WCHAR (&out)[MAX_PATH]) {
    WCHAR wide[MAX_PATH];
    if (!WidePath(path, wide)) {
        return false;
    }
    const DWORD length = GetFullPathNameW(wide, MAX_PATH, out, nullptr);
    if (length == 0 || length >= MAX_PATH) {
        for (int i = 0; i < MAX_PATH; ++i) {
            out[i] = wide[i];
        }
    }
    return true;
}

// A path that is no valid UTF-8 names no file the program uses.
FileStatus BadPath() {
    return {FileFailure::kOther, ERROR_PATH_NOT_FOUND};
}

// Why an open of path failed. errno folds a locked file and a directory into EACCES; the
// system's own error, kept in _doserrno, and the attributes, which can be read while another
// program holds the file, tell them apart.
FileStatus OpenFailure(const WCHAR* path, bool creating) {
    const DWORD openError = _doserrno;
    const DWORD attributes = GetFileAttributesW(path);
    const DWORD attributesError = attributes == INVALID_FILE_ATTRIBUTES ? GetLastError() : 0;
    return DecideOpenFailure(creating, openError, attributes, attributesError);
}

bool Move(const char* from, const char* to, DWORD flags, FileStatus* status) {
    WCHAR wideFrom[MAX_PATH];
    WCHAR wideTo[MAX_PATH];
    if (!AbsolutePath(from, wideFrom) || !AbsolutePath(to, wideTo)) {
        *status = BadPath();
        return false;
    }
    // Windows refuses to replace a read-only file, but Wine replaces it and drops the flag.
    const DWORD attributes = GetFileAttributesW(wideTo);
    if ((flags & MOVEFILE_REPLACE_EXISTING) != 0 && attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & FILE_ATTRIBUTE_READONLY) != 0) {
        *status = {FileFailure::kReadOnly, ERROR_ACCESS_DENIED};
        return false;
    }
    if (MoveFileExW(wideFrom, wideTo, flags | MOVEFILE_WRITE_THROUGH)) {
        *status = {};
        return true;
    }
    *status = DecideSystemFailure(GetLastError());
    return false;
}

} // namespace

std::FILE* SystemOpenRead(const char* path, FileStatus* status) {
    WCHAR wide[MAX_PATH];
    if (!WidePath(path, wide)) {
        *status = BadPath();
        return nullptr;
    }
    std::FILE* file = _wfopen(wide, L"rb");
    *status = file != nullptr ? FileStatus{} : OpenFailure(wide, false);
    return file;
}

std::FILE* SystemCreateNew(const char* path, FileStatus* status) {
    WCHAR wide[MAX_PATH];
    if (!WidePath(path, wide)) {
        *status = BadPath();
        return nullptr;
    }
    const int descriptor =
        _wopen(wide, _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (descriptor == -1) {
        *status = OpenFailure(wide, true);
        return nullptr;
    }
    std::FILE* file = _wfdopen(descriptor, L"wb");
    if (file == nullptr) {
        *status = SystemStreamFailure();
        _close(descriptor);
        DeleteFileW(wide);
        return nullptr;
    }
    *status = {};
    return file;
}

// _commit runs FlushFileBuffers on the stream's handle.
bool SystemFlush(std::FILE* file, FileStatus* status) {
    const bool flushed = std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
    *status = flushed ? FileStatus{} : SystemStreamFailure();
    return flushed;
}

// MoveFileExW with MOVEFILE_REPLACE_EXISTING swaps the names in one step. ReplaceFileW would keep
// the old file's attributes, but under Wine it is a copy and delete, not one step.
bool SystemReplace(const char* from, const char* to, FileStatus* status) {
    return Move(from, to, MOVEFILE_REPLACE_EXISTING, status);
}

// Without MOVEFILE_REPLACE_EXISTING, MoveFileExW fails when the name is taken.
bool SystemPlace(const char* from, const char* to, FileStatus* status) {
    return Move(from, to, 0, status);
}

bool SystemRemove(const char* path) {
    WCHAR wide[MAX_PATH];
    return WidePath(path, wide) && DeleteFileW(wide) != 0;
}

// The final path of an open file is the one its links lead to. It is used only when it differs
// from the full path of the name: a hard link is one file under two names, and its final path is
// the name it was opened by, so a rename over it replaces it as before.
bool SystemResolve(const char* path, char* out, std::size_t size) {
    WCHAR wide[MAX_PATH];
    WCHAR full[MAX_PATH];
    if (!WidePath(path, wide) || !AbsolutePath(path, full)) {
        return false;
    }
    const HANDLE file = CreateFileW(wide, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    WCHAR target[MAX_PATH + 4];
    const DWORD length = GetFinalPathNameByHandleW(file, target, MAX_PATH + 4, 0);
    CloseHandle(file);
    // "\\?\C:\..." for a path on a drive; a share's "\\?\UNC\..." is left alone.
    constexpr int kPrefix = 4;
    return length > kPrefix && length < MAX_PATH + 4 && target[kPrefix + 1] == L':' &&
           lstrcmpiW(target + kPrefix, full) != 0 &&
           WideCharToMultiByte(CP_UTF8, 0, target + kPrefix, -1, out, static_cast<int>(size),
                               nullptr, nullptr) != 0;
}

// A temporary file that can be opened for deletion without sharing is open in no program: no
// save, of this copy or another, is writing it. Closing the handle removes it. A read-only file
// refuses deletion and a folder refuses to open as a file: both are left alone.
bool SystemRemoveStale(const char* path) {
    WCHAR wide[MAX_PATH];
    if (!WidePath(path, wide)) {
        return false;
    }
    const HANDLE file =
        CreateFileW(wide, DELETE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return false;
    }
    CloseHandle(file);
    return true;
}

void SystemPause(unsigned milliseconds) {
    Sleep(milliseconds);
}

// The C runtime keeps the system's error of its latest failed call in _doserrno, except for a
// write cut short by a full disk, which it reports as ENOSPC alone.
FileStatus SystemStreamFailure() {
    if (errno == ENOSPC) {
        return {FileFailure::kDiskFull, ERROR_DISK_FULL};
    }
    return DecideSystemFailure(_doserrno);
}

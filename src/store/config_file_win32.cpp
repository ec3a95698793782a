#include "store/config_file_system.h"

#include "platform/win.h"

#include <io.h>

namespace {

// A virus scanner, the search indexer or the game itself may hold the file for a moment; the
// replacement is tried again a few times before it counts as failed.
constexpr int kReplaceAttempts = 5;
constexpr DWORD kReplaceRetryDelayMs = 40;

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

bool IsTransientReplaceError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED;
}

} // namespace

std::FILE* SystemOpenRead(const char* path, bool* missing) {
    *missing = false;
    WCHAR wide[MAX_PATH];
    if (!WidePath(path, wide)) {
        return nullptr;
    }
    std::FILE* file = _wfopen(wide, L"rb");
    if (file == nullptr) {
        // _wfopen's errno folds a locked file and a directory into EACCES; the attributes
        // say plainly whether anything of that name is there.
        const DWORD attributes = GetFileAttributesW(wide);
        const DWORD error = GetLastError();
        *missing = attributes == INVALID_FILE_ATTRIBUTES &&
                   (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND);
    }
    return file;
}

std::FILE* SystemOpenWrite(const char* path) {
    WCHAR wide[MAX_PATH];
    if (!WidePath(path, wide)) {
        return nullptr;
    }
    return _wfopen(wide, L"wb");
}

// _commit runs FlushFileBuffers on the stream's handle.
bool SystemFlush(std::FILE* file) {
    return std::fflush(file) == 0 && _commit(_fileno(file)) == 0;
}

// MoveFileExW with MOVEFILE_REPLACE_EXISTING swaps the names in one step. ReplaceFileW would keep
// the old file's attributes, but under Wine it is a copy and delete, not one step.
bool SystemReplace(const char* from, const char* to) {
    WCHAR wideFrom[MAX_PATH];
    WCHAR wideTo[MAX_PATH];
    if (!AbsolutePath(from, wideFrom) || !AbsolutePath(to, wideTo)) {
        return false;
    }
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(wideFrom, wideTo, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        if (attempt == kReplaceAttempts || !IsTransientReplaceError(GetLastError())) {
            return false;
        }
        Sleep(kReplaceRetryDelayMs);
    }
}

bool SystemRemove(const char* path) {
    WCHAR wide[MAX_PATH];
    return WidePath(path, wide) && DeleteFileW(wide) != 0;
}

#include "store/config_file.h"

#include "store/config_file_system.h"

namespace {

// Sets *status to success, or to the C library's failure when ok is false; returns ok.
bool Report(bool ok, FileStatus* status) {
    *status = ok ? FileStatus{} : SystemStreamFailure();
    return ok;
}

bool StreamRead(std::FILE* file, void* buffer, std::size_t size, std::size_t* count,
                FileStatus* status) {
    *count = std::fread(buffer, 1, size, file);
    return Report(std::ferror(file) == 0, status);
}

bool StreamWrite(std::FILE* file, const void* data, std::size_t size, FileStatus* status) {
    return Report(std::fwrite(data, 1, size, file) == size, status);
}

bool StreamClose(std::FILE* file, FileStatus* status) {
    return Report(std::fclose(file) == 0, status);
}

constexpr ConfigFileOps kSystemOps = {
    SystemOpenRead, SystemCreateNew, StreamRead,   StreamWrite,   SystemFlush,       StreamClose,
    SystemReplace,  SystemPlace,     SystemRemove, SystemResolve, SystemRemoveStale, SystemPause,
};

bool IsHeldError(DWORD error) {
    return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

} // namespace

ConfigFileOps g_configFileOps = kSystemOps;

ConfigFileOps SystemConfigFileOps() {
    return kSystemOps;
}

FileStatus DecideOpenFailure(bool creating, DWORD openError, DWORD attributes,
                             DWORD attributesError) {
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    const bool deletePending = !exists && attributesError == ERROR_ACCESS_DENIED;
    if (creating) {
        // Anything of that name takes it: a file, read-only or not, a folder, or a file on its
        // way out.
        if (exists || deletePending || openError == ERROR_FILE_EXISTS ||
            openError == ERROR_ALREADY_EXISTS) {
            return {FileFailure::kTaken, openError};
        }
        if (openError == ERROR_ACCESS_DENIED) {
            return {FileFailure::kFolderDenied, openError};
        }
        return DecideSystemFailure(openError);
    }
    if (!exists) {
        if (attributesError == ERROR_FILE_NOT_FOUND || attributesError == ERROR_PATH_NOT_FOUND) {
            return {FileFailure::kMissing, attributesError};
        }
        return {deletePending ? FileFailure::kBusy : FileFailure::kOther, attributesError};
    }
    // Access denied on a file that is there is mostly another program's lock; a folder of that
    // name is no file to read, whatever the open said.
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
        (IsHeldError(openError) || openError == ERROR_ACCESS_DENIED)) {
        return {FileFailure::kBusy, openError};
    }
    return {FileFailure::kOther, openError};
}

FileStatus DecideSystemFailure(DWORD error) {
    if (IsHeldError(error) || error == ERROR_ACCESS_DENIED) {
        return {FileFailure::kBusy, error};
    }
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
        return {FileFailure::kTaken, error};
    }
    if (error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL) {
        return {FileFailure::kDiskFull, error};
    }
    if (error == ERROR_PATH_NOT_FOUND) {
        return {FileFailure::kFolderMissing, error};
    }
    return {FileFailure::kOther, error};
}

#include "store/config_file.h"

#include "store/config_file_system.h"

namespace {

bool StreamRead(std::FILE* file, void* buffer, std::size_t size, std::size_t* count) {
    *count = std::fread(buffer, 1, size, file);
    return std::ferror(file) == 0;
}

bool StreamWrite(std::FILE* file, const void* data, std::size_t size) {
    return std::fwrite(data, 1, size, file) == size;
}

bool StreamClose(std::FILE* file) {
    return std::fclose(file) == 0;
}

constexpr ConfigFileOps kSystemOps = {
    SystemOpenRead, SystemCreateNew, StreamRead,   StreamWrite, SystemFlush,
    StreamClose,    SystemReplace,   SystemRemove, SystemPause,
};

} // namespace

ConfigFileOps g_configFileOps = kSystemOps;

ConfigFileOps SystemConfigFileOps() {
    return kSystemOps;
}

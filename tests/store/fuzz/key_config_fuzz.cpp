// libFuzzer target for the configuration file loader. Each input is the content of
// "config.ini"; the file operations run in memory, so nothing touches the disk. A file the
// loader accepts must fill the table and every field and save back to its own first eighteen
// bytes; any other file must be reported as broken and leave the table, the fields and the
// file alone.
#include "capture/binding.h"
#include "capture/binding_name.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "store/config_file.h"
#include "store/key_config.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr const char kBrokenText[] = "コンフィグファイルが壊れています";

// The dialog: one record per Binding field, found by GetDlgItem.
struct Field {
    char text[kBindingNameSize];
    int setTextCalls;
};
Field g_fields[kBindingCount];
int g_dialogTag;
HWND Dialog() {
    return reinterpret_cast<HWND>(&g_dialogTag);
}

int g_messageBoxes;
bool g_lastBoxWasBroken;

// The file in memory: what the loader reads, and what a save put in its place.
const uint8_t* g_input;
std::size_t g_inputSize;
char* g_written;
std::size_t g_writtenSize;
uint8_t g_saved[kConfigFileSize];
std::size_t g_savedSize;
int g_writeOpens;
int g_replaces;

std::FILE* MemoryOpenRead(const char*, FileStatus* status) {
    *status = {};
    // fmemopen does not write through a read-only stream.
    return fmemopen(const_cast<uint8_t*>(g_input), g_inputSize, "rb");
}

std::FILE* MemoryCreateNew(const char*, FileStatus* status) {
    *status = {};
    ++g_writeOpens;
    return open_memstream(&g_written, &g_writtenSize);
}

bool MemoryFlush(std::FILE* file, FileStatus* status) {
    *status = {};
    return std::fflush(file) == 0;
}

bool MemoryReplace(const char*, const char*, FileStatus* status) {
    *status = {};
    ++g_replaces;
    g_savedSize = g_writtenSize < sizeof g_saved ? g_writtenSize : sizeof g_saved;
    std::memcpy(g_saved, g_written, g_savedSize);
    std::free(g_written);
    g_written = nullptr;
    return g_writtenSize == kConfigFileSize;
}

bool MemoryRemove(const char*) {
    std::free(g_written);
    g_written = nullptr;
    return true;
}

void NoPause(unsigned) {}

void NoLink(const char*, NameFacts*) {}

bool NothingStale(const char*) {
    return false;
}

void Fail(const char* what) {
    std::fprintf(stderr, "key configuration fuzz: %s\n", what);
    std::abort();
}

} // namespace

// The Windows calls the loader makes, recorded instead of shown.
HWND GetDlgItem(HWND dialog, int id) {
    const int index = id - IDC_BINDING_UP;
    if (dialog != Dialog() || index < 0 || index >= kBindingCount) {
        return nullptr;
    }
    return reinterpret_cast<HWND>(&g_fields[index]);
}

BOOL SetWindowTextUtf8(HWND window, const char* text) {
    Field* field = reinterpret_cast<Field*>(window);
    if (field == nullptr) {
        Fail("a field that the dialog does not have was written");
    }
    std::snprintf(field->text, sizeof field->text, "%s", text);
    ++field->setTextCalls;
    return TRUE;
}

int MessageBoxUtf8(HWND, const char* text, const char*, UINT) {
    ++g_messageBoxes;
    g_lastBoxWasBroken = std::strcmp(text, kBrokenText) == 0;
    return IDOK;
}

void OutputDebugStringCp932(const char*) {}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const ConfigFileOps system = SystemConfigFileOps();
    // A file is there from the start, so nothing is created or placed.
    g_configFileOps = {MemoryOpenRead, MemoryCreateNew, system.read,   system.write,
                       MemoryFlush,    system.close,    MemoryReplace, MemoryReplace,
                       MemoryRemove,   NoLink,          NothingStale,  NoPause};
    g_input = data;
    g_inputSize = size;
    g_savedSize = 0;
    g_writeOpens = 0;
    g_replaces = 0;
    g_messageBoxes = 0;
    std::memset(g_fields, 0, sizeof g_fields);
    std::memset(g_bindingTable, 0, sizeof g_bindingTable);

    LoadKeyConfig(Dialog());

    if (g_writeOpens != 0 || g_replaces != 0) {
        Fail("loading an existing file wrote to it");
    }
    const bool valid = size >= kConfigFileSize && data[0] == 1 && data[1] == kBindingCount;
    if (!valid) {
        if (g_messageBoxes != 1 || !g_lastBoxWasBroken) {
            Fail("a broken file was not reported as broken exactly once");
        }
        for (int i = 0; i < kBindingCount; ++i) {
            if (g_bindingTable[i] != kNoBinding || g_fields[i].setTextCalls != 0) {
                Fail("a broken file changed the table or a field");
            }
        }
        return 0;
    }

    if (g_messageBoxes != 0) {
        Fail("a valid file brought up a message");
    }
    for (int i = 0; i < kBindingCount; ++i) {
        const Binding expected = {data[2 + 2 * i], data[3 + 2 * i]};
        if (g_bindingTable[i] != expected) {
            Fail("an entry was not loaded as stored");
        }
        if (g_fields[i].setTextCalls != 1 ||
            std::strcmp(g_fields[i].text, FormatBindingName(expected).text) != 0) {
            Fail("a field does not show its entry's name");
        }
    }
    FileStatus why;
    if (!SaveKeyConfig(&why)) {
        Fail("saving a loaded file failed");
    }
    if (g_savedSize != kConfigFileSize || std::memcmp(g_saved, data, kConfigFileSize) != 0) {
        Fail("a loaded file did not save back to its first eighteen bytes");
    }
    return 0;
}

#include "store/key_config.h"

#include "capture/binding.h"
#include "capture/binding_name.h"
#include "platform/text.h"
#include "resources/resource.h"
#include "store/config_file.h"

#include <cstddef>
#include <cstdint>

namespace {

constexpr const char kConfigFileName[] = "config.ini";
// Written first and then put in the place of the real file, so that the game never finds a
// half-written one. It sits beside it: a rename within one directory is one step.
constexpr const char kTempFileName[] = "config.ini.tmp";

// The file image: the number of sets (1), the Bindings per set (8), then the set's Bindings,
// device then code. The game reads exactly this.
constexpr uint8_t kSetCount = 1;
constexpr uint8_t kBindingsPerSet = kBindingCount;
constexpr std::size_t kSetCountOffset = 0;
constexpr std::size_t kBindingsPerSetOffset = 1;
constexpr std::size_t kFirstBindingOffset = 2;
constexpr std::size_t kBytesPerBinding = 2;
static_assert(kFirstBindingOffset + kSetCount * kBindingsPerSet * kBytesPerBinding ==
                  kConfigFileSize,
              "the image is the header and one set of Bindings");

// Working storage for one image. Reads stop at its end, however long the file is.
constexpr std::size_t kBufferSize = 100;

constexpr const char kCaption[] = "DirectInput";
constexpr const char kCreatingText[] = "コンフィグファイルを作成します";
constexpr const char kBrokenText[] = "コンフィグファイルが壊れています";
constexpr const char kUnreadableText[] = "コンフィグファイルを読み込めませんでした";
constexpr const char kSaveFailedText[] = "コンフィグファイルを保存できませんでした";

void ShowError(HWND owner, const char* text) {
    MessageBoxUtf8(owner, text, kCaption, MB_OK | MB_ICONERROR);
}

// Builds the image of one set of Bindings in buffer.
void BuildImage(const Binding (&set)[kBindingsPerSet], uint8_t (&buffer)[kBufferSize]) {
    buffer[kSetCountOffset] = kSetCount;
    buffer[kBindingsPerSetOffset] = kBindingsPerSet;
    for (std::size_t i = 0; i < kBindingsPerSet; ++i) {
        buffer[kFirstBindingOffset + kBytesPerBinding * i] = set[i].device;
        buffer[kFirstBindingOffset + kBytesPerBinding * i + 1] = set[i].code;
    }
}

// Whether the first length bytes of buffer hold a whole image with the header the game expects.
bool IsValidImage(const uint8_t (&buffer)[kBufferSize], std::size_t length) {
    return length >= kConfigFileSize && buffer[kSetCountOffset] == kSetCount &&
           buffer[kBindingsPerSetOffset] == kBindingsPerSet;
}

// Writes the image to a new file beside the configuration file, pushes it to the disk and then
// puts it in the configuration file's place. On any failure the old file stays as it was and the
// new one is removed.
bool WriteImage(const uint8_t (&buffer)[kBufferSize]) {
    const ConfigFileOps& ops = g_configFileOps;
    std::FILE* file = ops.openWrite(kTempFileName);
    if (file == nullptr) {
        return false;
    }
    bool written = ops.write(file, buffer, kConfigFileSize) && ops.flush(file);
    written = ops.close(file) && written;
    written = written && ops.replace(kTempFileName, kConfigFileName);
    if (!written) {
        ops.remove(kTempFileName);
    }
    return written;
}

void SetAndShow(HWND dialog, int index, Binding binding) {
    g_bindingTable[index] = binding;
    ShowBindingName(binding, GetDlgItem(dialog, IDC_BINDING_UP + index));
}

// The configuration file does not exist yet: create it with the default Binding for every
// action and show those.
void CreateDefaultConfig(HWND dialog) {
    ShowError(nullptr, kCreatingText);

    Binding Key[kSetCount][kBindingsPerSet];
    for (Binding& binding : Key[0]) {
        binding = kDefaultBinding;
    }
    uint8_t buffer[kBufferSize] = {};
    BuildImage(Key[0], buffer);
    const bool created = WriteImage(buffer);

    for (int i = 0; i < kBindingsPerSet; ++i) {
        SetAndShow(dialog, i, Key[0][i]);
    }
    if (!created) {
        ReportSaveFailure(nullptr);
    }
}

} // namespace

void LoadKeyConfig(HWND dialog) {
    const ConfigFileOps& ops = g_configFileOps;
    bool missing = false;
    std::FILE* file = ops.openRead(kConfigFileName, &missing);
    if (file == nullptr) {
        // Only a file that is not there is created; one that is there but will not open (locked,
        // no permission, a directory) may hold the player's Bindings and is left alone.
        if (missing) {
            CreateDefaultConfig(dialog);
        } else {
            ShowError(nullptr, kUnreadableText);
        }
        return;
    }

    uint8_t buffer[kBufferSize] = {};
    std::size_t length = 0;
    const bool read = ops.read(file, buffer, sizeof buffer, &length);
    // Closed before any message box, so that the file is not held open while the box waits.
    ops.close(file);
    if (!read) {
        ShowError(nullptr, kUnreadableText);
        return;
    }
    // A broken file is neither loaded nor repaired: the table keeps its zeros, and the file is
    // replaced only when the player saves.
    if (!IsValidImage(buffer, length)) {
        ShowError(nullptr, kBrokenText);
        return;
    }
    // Bytes past the image are the game's business, not ours; only the image is read.
    for (int i = 0; i < kBindingsPerSet; ++i) {
        const std::size_t at = kFirstBindingOffset + kBytesPerBinding * i;
        SetAndShow(dialog, i, Binding{buffer[at], buffer[at + 1]});
    }
}

bool SaveKeyConfig() {
    uint8_t buffer[kBufferSize] = {};
    BuildImage(g_bindingTable, buffer);
    return WriteImage(buffer);
}

void ReportSaveFailure(HWND owner) {
    ShowError(owner, kSaveFailedText);
}

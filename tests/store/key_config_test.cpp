#include "store/key_config.h"

#include "capture/binding.h"
#include "capture/binding_name.h"
#include "capture/capture.h"
#include "fake_windows.h"
#include "resources/resource.h"
#include "store/config_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <iterator>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

constexpr char kFile[] = "config.ini";
constexpr char kCaption[] = "DirectInput";
constexpr char kCreating[] = "コンフィグファイルを作成します";
constexpr char kBroken[] = "コンフィグファイルが壊れています";
constexpr char kUnreadable[] = "コンフィグファイルを読み込めませんでした";
constexpr char kSaveFailed[] = "コンフィグファイルを保存できませんでした";

// The image of a created file: the header, then (99, 255) eight times.
const Bytes kDefaultImage = {1,   8,  99,  255, 99,  255, 99,  255, 99,
                             255, 99, 255, 99,  255, 99,  255, 99,  255};

Bytes ImageOf(const Binding (&table)[kBindingCount]) {
    Bytes image = {1, 8};
    for (const Binding& binding : table) {
        image.push_back(binding.device);
        image.push_back(binding.code);
    }
    return image;
}

void WriteBytes(const char* path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << path;
}

Bytes ReadBytes(const char* path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Names in the working directory, sorted: shows both the configuration file and any leftover.
std::vector<std::string> DirectoryEntries() {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(".")) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

const std::vector<std::string> kOnlyTheFile = {kFile};

// Recorded file operations, for checking their order and that every opened file is closed.
std::vector<std::string> g_calls;
int g_openFiles = 0;

// Each step runs the system's operation and records it, so that single steps can be swapped
// for failing ones while the rest really happen.
std::FILE* LoggedOpenRead(const char* path, FileStatus* status) {
    g_calls.push_back(std::string("openRead ") + path);
    std::FILE* file = SystemConfigFileOps().openRead(path, status);
    g_openFiles += file != nullptr;
    return file;
}
std::FILE* LoggedCreateNew(const char* path, FileStatus* status) {
    g_calls.push_back(std::string("createNew ") + path);
    std::FILE* file = SystemConfigFileOps().createNew(path, status);
    g_openFiles += file != nullptr;
    return file;
}
bool LoggedRead(std::FILE* file, void* buffer, std::size_t size, std::size_t* count,
                FileStatus* status) {
    g_calls.push_back("read " + std::to_string(size));
    return SystemConfigFileOps().read(file, buffer, size, count, status);
}
bool LoggedWrite(std::FILE* file, const void* data, std::size_t size, FileStatus* status) {
    g_calls.push_back("write " + std::to_string(size));
    return SystemConfigFileOps().write(file, data, size, status);
}
bool LoggedFlush(std::FILE* file, FileStatus* status) {
    g_calls.push_back("flush");
    return SystemConfigFileOps().flush(file, status);
}
bool LoggedClose(std::FILE* file, FileStatus* status) {
    g_calls.push_back("close");
    --g_openFiles;
    return SystemConfigFileOps().close(file, status);
}
// Replacing and placing fail with g_moveFailure while g_failingMoves lasts, then happen for real.
FileStatus g_moveFailure;
int g_failingMoves = 0;
bool LoggedMove(const char* how, bool (*move)(const char*, const char*, FileStatus*),
                const char* from, const char* to, FileStatus* status) {
    g_calls.push_back(std::string(how) + " " + from + " " + to);
    if (g_failingMoves > 0) {
        --g_failingMoves;
        *status = g_moveFailure;
        return false;
    }
    return move(from, to, status);
}
bool LoggedReplace(const char* from, const char* to, FileStatus* status) {
    return LoggedMove("replace", SystemConfigFileOps().replace, from, to, status);
}
bool LoggedPlace(const char* from, const char* to, FileStatus* status) {
    return LoggedMove("place", SystemConfigFileOps().place, from, to, status);
}
bool LoggedRemove(const char* path) {
    g_calls.push_back(std::string("remove ") + path);
    return SystemConfigFileOps().remove(path);
}
// Recorded, not waited for.
void LoggedPause(unsigned milliseconds) {
    g_calls.push_back("pause " + std::to_string(milliseconds));
}

constexpr ConfigFileOps kLoggedOps = {LoggedOpenRead, LoggedCreateNew, LoggedRead,    LoggedWrite,
                                      LoggedFlush,    LoggedClose,     LoggedReplace, LoggedPlace,
                                      LoggedRemove,   LoggedPause};

// Failing steps. Those that get a file still do what a real failure leaves behind (half the
// bytes written, the file closed), so the test sees what the program must clean up.
// Opening for reading fails with g_openFailure while g_failingOpens lasts, then opens for real.
FileFailure g_openFailure;
int g_failingOpens = 0;
std::FILE* OpenReadFailing(const char* path, FileStatus* status) {
    if (g_failingOpens == 0) {
        return LoggedOpenRead(path, status);
    }
    --g_failingOpens;
    g_calls.push_back(std::string("openRead ") + path);
    *status = {g_openFailure, 13};
    return nullptr;
}
std::FILE* CreateNewFails(const char* path, FileStatus* status) {
    g_calls.push_back(std::string("createNew ") + path);
    *status = {FileFailure::kFolderDenied, 13};
    return nullptr;
}
bool ReadFails(std::FILE* file, void* buffer, std::size_t size, std::size_t* count,
               FileStatus* status) {
    LoggedRead(file, buffer, size, count, status);
    return false;
}
bool WriteFailsHalfway(std::FILE* file, const void* data, std::size_t size, FileStatus* status) {
    LoggedWrite(file, data, size / 2, status);
    *status = {FileFailure::kDiskFull, 28};
    return false;
}
bool FlushFails(std::FILE* file, FileStatus* status) {
    LoggedFlush(file, status);
    *status = {FileFailure::kOther, 5};
    return false;
}
bool CloseFails(std::FILE* file, FileStatus* status) {
    LoggedClose(file, status);
    *status = {FileFailure::kOther, 9};
    return false;
}

struct WriteFailure {
    const char* step;
    void (*inject)(ConfigFileOps& ops);
    // The steps taken: none after the failure but closing and removing the temp file.
    std::vector<std::string> calls;
    // The second line of the message that reports it.
    const char* cause;
};

const WriteFailure kWriteFailures[] = {
    {"open",
     [](ConfigFileOps& ops) { ops.createNew = CreateNewFails; },
     {"createNew config.ini.0.tmp"},
     "フォルダーに書き込む権限がありません"},
    {"write",
     [](ConfigFileOps& ops) { ops.write = WriteFailsHalfway; },
     {"createNew config.ini.0.tmp", "write 9", "close", "remove config.ini.0.tmp"},
     "ディスクの空きが足りません"},
    {"flush",
     [](ConfigFileOps& ops) { ops.flush = FlushFails; },
     {"createNew config.ini.0.tmp", "write 18", "flush", "close", "remove config.ini.0.tmp"},
     "エラー番号 5"},
    {"close",
     [](ConfigFileOps& ops) { ops.close = CloseFails; },
     {"createNew config.ini.0.tmp", "write 18", "flush", "close", "remove config.ini.0.tmp"},
     "エラー番号 9"},
    {"replace",
     [](ConfigFileOps&) {
         g_moveFailure = {FileFailure::kOther, 1117};
         g_failingMoves = 1;
     },
     {"createNew config.ini.0.tmp", "write 18", "flush", "close",
      "replace config.ini.0.tmp config.ini", "remove config.ini.0.tmp"},
     "エラー番号 1117"},
    // Only a save meets an existing file. No write bit is read-only, even to root.
    {"read-only",
     [](ConfigFileOps&) { fs::permissions(kFile, fs::perms::owner_read | fs::perms::group_read); },
     {"createNew config.ini.0.tmp", "write 18", "flush", "close",
      "replace config.ini.0.tmp config.ini", "remove config.ini.0.tmp"},
     "ファイルが読み取り専用です"},
};

class KeyConfigTest : public ::testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "keyconfig-store-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        directory_ = pattern;
        previous_ = fs::current_path();
        fs::current_path(directory_);

        fake::TheDesktop().Reset();
        std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
        g_boundInRun = 0;
        g_failingMoves = 0;
        g_configFileOps = kLoggedOps;
        g_calls.clear();
        g_openFiles = 0;
    }

    void TearDown() override {
        EXPECT_EQ(g_openFiles, 0) << "every opened file is closed";
        g_configFileOps = SystemConfigFileOps();
        fs::current_path(previous_);
        std::error_code ignored;
        fs::permissions(directory_ / kFile, fs::perms::owner_all, ignored);
        fs::remove_all(directory_, ignored);
    }

    static fake::Desktop& Desktop() { return fake::TheDesktop(); }
    static HWND Dialog() { return fake::TheDesktop().Dialog(); }

    // The player binds entry index (0..5) to b: its field has the focus and capture offers b.
    static void Bind(int index, Binding b) {
        Desktop().Focus(IDC_BINDING_UP + index);
        ASSERT_TRUE(StoreBinding(b, GetFocus(), Dialog()));
    }
    static bool Save() {
        FileStatus why;
        return SaveKeyConfig(&why);
    }

    // The message boxes shown so far, each checked for the caption, the error icon and no owner.
    static std::vector<std::string> Messages() {
        std::vector<std::string> texts;
        for (const fake::MessageBoxCall& call : Desktop().messageBoxes) {
            EXPECT_EQ(call.owner, nullptr) << call.text;
            EXPECT_EQ(call.caption, kCaption) << call.text;
            EXPECT_EQ(call.type, static_cast<UINT>(MB_OK | MB_ICONERROR)) << call.text;
            texts.push_back(call.text);
        }
        return texts;
    }

    // Checks that nothing was loaded: the table is all zero and no field was written.
    static void ExpectNothingLoaded() {
        for (int i = 0; i < kBindingCount; ++i) {
            EXPECT_EQ(g_bindingTable[i], kNoBinding) << "entry " << i;
            EXPECT_EQ(Desktop().SetTextCalls(IDC_BINDING_UP + i), 0) << "field " << i;
        }
    }

    // Checks that the table holds table and that every field, hidden ones included, shows it.
    static void ExpectLoaded(const Binding (&table)[kBindingCount]) {
        for (int i = 0; i < kBindingCount; ++i) {
            EXPECT_EQ(g_bindingTable[i], table[i]) << "entry " << i;
            EXPECT_STREQ(Desktop().Text(IDC_BINDING_UP + i), FormatBindingName(table[i]).text)
                << "field " << i;
            EXPECT_EQ(Desktop().SetTextCalls(IDC_BINDING_UP + i), 1) << "field " << i;
        }
        EXPECT_EQ(Desktop().SetTextCalls(IDC_READOUT), 0);
    }

    fs::path directory_;
    fs::path previous_;
};

// Bindings that differ in every entry, the two hidden ones included.
constexpr Binding kMixedTable[kBindingCount] = {{0, 30}, {1, 4}, {0, 200}, {1, 35},
                                                {2, 0},  {0, 1}, {7, 19},  {255, 254}};

TEST_F(KeyConfigTest, MissingFileIsCreatedWithDefaultsAfterTheMessage) {
    bool existedDuringMessage = true;
    Desktop().onMessageBox = [&](const fake::MessageBoxCall&) {
        existedDuringMessage = fs::exists(kFile);
    };

    LoadKeyConfig(Dialog());

    EXPECT_EQ(Messages(), std::vector<std::string>{kCreating});
    EXPECT_FALSE(existedDuringMessage) << "the file is written after the player saw the message";
    EXPECT_EQ(ReadBytes(kFile), kDefaultImage);
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    Binding defaults[kBindingCount];
    std::fill(std::begin(defaults), std::end(defaults), kDefaultBinding);
    ExpectLoaded(defaults);
    EXPECT_STREQ(Desktop().Text(IDC_BINDING_BUTTON4), "JOY99_B252");
}

// A file copied in, or created by a second copy of the program, while the creation message
// waits for the player is loaded as it is; no defaults replace it.
TEST_F(KeyConfigTest, FileArrivingWhileTheCreationMessageWaitsIsLoadedNotReplaced) {
    Desktop().onMessageBox = [](const fake::MessageBoxCall&) {
        WriteBytes(kFile, ImageOf(kMixedTable));
    };

    LoadKeyConfig(Dialog());

    EXPECT_EQ(Messages(), std::vector<std::string>{kCreating});
    ExpectLoaded(kMixedTable);
    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
}

TEST_F(KeyConfigTest, ValidFileLoadsEveryEntryIntoTableAndFields) {
    WriteBytes(kFile, ImageOf(kMixedTable));

    LoadKeyConfig(Dialog());

    EXPECT_TRUE(Messages().empty());
    ExpectLoaded(kMixedTable);
    EXPECT_STREQ(Desktop().Text(IDC_BINDING_UP), "KEY_A");
    EXPECT_STREQ(Desktop().Text(IDC_BINDING_DOWN), "JOY1_B1");
    EXPECT_STREQ(Desktop().Text(IDC_BINDING_BUTTON3), "JOY7_B16");
    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
}

TEST_F(KeyConfigTest, WrongHeaderIsReportedAsBrokenAndLeftAlone) {
    const Bytes headers[] = {{1, 7}, {2, 8}, {0, 0}, {8, 1}, {1, 9}, {255, 255}, {0, 8}, {1, 0}};
    for (const Bytes& header : headers) {
        SCOPED_TRACE(testing::Message() << int{header[0]} << " " << int{header[1]});
        Desktop().Reset();
        Bytes file = ImageOf(kMixedTable);
        file[0] = header[0];
        file[1] = header[1];
        WriteBytes(kFile, file);

        LoadKeyConfig(Dialog());

        EXPECT_EQ(Messages(), std::vector<std::string>{kBroken});
        ExpectNothingLoaded();
        EXPECT_EQ(ReadBytes(kFile), file);
        EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    }
}

// Every length from empty to past the working buffer, and one far past it: a good header loads
// the first eighteen bytes whatever follows; anything shorter is broken and untouched.
TEST_F(KeyConfigTest, EveryFileLengthLoadsTheFirst18BytesOrIsBroken) {
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length <= 120; ++length) {
        lengths.push_back(length);
    }
    lengths.push_back(1 << 20);

    for (std::size_t length : lengths) {
        for (bool goodHeader : {true, false}) {
            SCOPED_TRACE(testing::Message()
                         << "length " << length << " header " << (goodHeader ? "good" : "bad"));
            Desktop().Reset();
            std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
            Bytes file(length);
            for (std::size_t i = 0; i < length; ++i) {
                file[i] = static_cast<uint8_t>(i * 37 + 11);
            }
            if (length >= 1) {
                file[0] = goodHeader ? 1 : 2;
            }
            if (length >= 2) {
                file[1] = 8;
            }
            WriteBytes(kFile, file);

            LoadKeyConfig(Dialog());

            if (goodHeader && length >= kConfigFileSize) {
                EXPECT_TRUE(Messages().empty());
                Binding expected[kBindingCount];
                for (int i = 0; i < kBindingCount; ++i) {
                    expected[i] = {file[2 + 2 * i], file[3 + 2 * i]};
                }
                ExpectLoaded(expected);
            } else {
                EXPECT_EQ(Messages(), std::vector<std::string>{kBroken});
                ExpectNothingLoaded();
            }
            EXPECT_EQ(ReadBytes(kFile), file);
            EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
        }
    }
}

TEST_F(KeyConfigTest, ReadsStopAtTheWorkingBuffer) {
    WriteBytes(kFile, Bytes(5000, 1));

    LoadKeyConfig(Dialog());

    EXPECT_EQ(g_calls, (std::vector<std::string>{"openRead config.ini", "read 100", "close"}));
}

TEST_F(KeyConfigTest, DirectoryNamedLikeTheFileIsUnreadableAndLeftAlone) {
    fs::create_directory(kFile);
    fs::create_directory(fs::path(kFile) / "inside");

    LoadKeyConfig(Dialog());

    EXPECT_EQ(g_calls, std::vector<std::string>{"openRead config.ini"}) << "decided at once";
    EXPECT_EQ(Messages(), std::vector<std::string>{kUnreadable});
    ExpectNothingLoaded();
    EXPECT_TRUE(fs::is_directory(fs::path(kFile) / "inside"));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
}

// Root reads any file, so the load runs in a child process that gives root up first: the check
// that tells a file without read permission from a missing one runs whoever runs the tests.
TEST_F(KeyConfigTest, FileWithoutReadPermissionIsUnreadableAndLeftAlone) {
    WriteBytes(kFile, kDefaultImage);
    fs::permissions(kFile, fs::perms::none);
    fs::permissions(".", fs::perms::others_exec, fs::perm_options::add);

    EXPECT_EXIT(
        {
            constexpr uid_t kNobody = 65534;
            if (geteuid() == 0 &&
                (setgroups(0, nullptr) != 0 || setgid(kNobody) != 0 || setuid(kNobody) != 0)) {
                std::_Exit(2);
            }
            LoadKeyConfig(Dialog());
            EXPECT_EQ(Messages(), std::vector<std::string>{kUnreadable});
            ExpectNothingLoaded();
            std::_Exit(HasFailure() ? 1 : 0);
        },
        ::testing::ExitedWithCode(0), "");

    fs::permissions(kFile, fs::perms::owner_all);
    EXPECT_EQ(ReadBytes(kFile), kDefaultImage);
}

// A file that will not open is tried again only while another program holds it, and a file that
// is there is never overwritten with defaults: it may hold the player's Bindings. Every save reads
// it again: one that still cannot be read is not replaced, and once it reads, the entries the
// player did not bind in this run come from it.
TEST_F(KeyConfigTest, FileThatWillNotOpenIsRetriedWhileBusyAndReadAgainBeforeASave) {
    // How opening fails and for how many opens, and how many opens the load then makes; the
    // load succeeds when the failures end within them, the first save when they end before it.
    const struct {
        FileFailure failure;
        int failingOpens;
        int opens;
    } cases[] = {
        {FileFailure::kBusy, 1, 2},
        {FileFailure::kBusy, 1000, kBusyAttempts},
        {FileFailure::kOther, 1, 1},
        {FileFailure::kOther, 1000, 1},
    };
    const Bytes kSavedOverMixed = {1, 8, 0, 16, 1, 4, 0, 200, 1, 35, 2, 0, 0, 1, 7, 19, 255, 254};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << static_cast<int>(c.failure) << " " << c.failingOpens);
        WriteBytes(kFile, ImageOf(kMixedTable));
        Desktop().Reset();
        std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
        g_calls.clear();
        g_configFileOps.openRead = OpenReadFailing;
        g_openFailure = c.failure;
        g_failingOpens = c.failingOpens;

        LoadKeyConfig(Dialog());

        EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "openRead config.ini"), c.opens);
        EXPECT_EQ(std::count(g_calls.begin(), g_calls.end(), "pause 40"), c.opens - 1);
        if (c.failingOpens < c.opens) {
            EXPECT_TRUE(Messages().empty());
            ExpectLoaded(kMixedTable);
        } else {
            EXPECT_EQ(Messages(), std::vector<std::string>{kUnreadable});
            ExpectNothingLoaded();
        }
        EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));

        Bind(0, {0, 16});
        // And the replacement is held twice: it is tried again too.
        g_moveFailure = {FileFailure::kBusy, 32};
        g_failingMoves = 2;
        const bool saves = c.failingOpens == 1;
        FileStatus why;
        EXPECT_EQ(SaveKeyConfig(&why), saves);
        if (!saves) {
            EXPECT_EQ(why.failure, c.failure);
            EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
            g_failingOpens = 0;
            EXPECT_TRUE(Save()) << "the next OK, once nothing holds the file";
        }
        EXPECT_EQ(ReadBytes(kFile), kSavedOverMixed);
        EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    }
}

// A failing read may be a lock on part of the file: it is tried again like a busy open, and the
// file is closed each time, before the message too.
TEST_F(KeyConfigTest, ReadErrorIsRetriedThenUnreadableAndTheFileIsClosedBeforeTheMessage) {
    WriteBytes(kFile, ImageOf(kMixedTable));
    g_configFileOps.read = ReadFails;
    std::vector<std::string> callsAtMessage;
    Desktop().onMessageBox = [&](const fake::MessageBoxCall&) { callsAtMessage = g_calls; };

    LoadKeyConfig(Dialog());

    EXPECT_EQ(Messages(), std::vector<std::string>{kUnreadable});
    ExpectNothingLoaded();
    EXPECT_EQ(std::count(callsAtMessage.begin(), callsAtMessage.end(), "read 100"), kBusyAttempts);
    EXPECT_EQ(std::count(callsAtMessage.begin(), callsAtMessage.end(), "close"), kBusyAttempts);
    EXPECT_EQ(callsAtMessage.back(), "close");
    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
}

TEST_F(KeyConfigTest, SaveWritesATempFileFlushesClosesThenReplaces) {
    std::copy(std::begin(kMixedTable), std::end(kMixedTable), std::begin(g_bindingTable));
    Bytes old = kDefaultImage;
    old[1] = 7; // no valid image: the whole table is written over it
    WriteBytes(kFile, old);
    Bytes oldAtReplace;
    Bytes newAtReplace;
    // Look at both files the moment before the replacement.
    static Bytes* s_old;
    static Bytes* s_new;
    s_old = &oldAtReplace;
    s_new = &newAtReplace;
    g_configFileOps.replace = [](const char* from, const char* to, FileStatus* status) {
        *s_old = ReadBytes(to);
        *s_new = ReadBytes(from);
        return LoggedReplace(from, to, status);
    };

    EXPECT_TRUE(Save());

    EXPECT_EQ(g_calls, (std::vector<std::string>{"openRead config.ini", "read 100", "close",
                                                 "createNew config.ini.0.tmp", "write 18", "flush",
                                                 "close", "replace config.ini.0.tmp config.ini"}));
    EXPECT_EQ(oldAtReplace, old) << "the old file stays whole until the replacement";
    EXPECT_EQ(newAtReplace, ImageOf(kMixedTable)) << "the new file is complete before it";
    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    EXPECT_TRUE(Messages().empty()) << "saving itself shows nothing";
}

TEST_F(KeyConfigTest, SaveReplacesALongerFileWithExactly18Bytes) {
    Bytes longFile = ImageOf(kMixedTable);
    longFile.resize(300, 0xAB);
    WriteBytes(kFile, longFile);

    LoadKeyConfig(Dialog());
    ASSERT_TRUE(Save());

    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
}

TEST_F(KeyConfigTest, RoundTripsGiveTheSameTableAndBytes) {
    Binding defaults[kBindingCount];
    std::fill(std::begin(defaults), std::end(defaults), kDefaultBinding);
    Binding zeros[kBindingCount] = {};
    Binding extremes[kBindingCount] = {{255, 255}, {0, 0},    {0, 255}, {255, 0},
                                       {1, 3},     {99, 255}, {0, 8},   {8, 1}};
    const Binding(*tables[])[kBindingCount] = {&kMixedTable, &defaults, &zeros, &extremes};

    for (const Binding(*table)[kBindingCount] : tables) {
        SCOPED_TRACE(testing::Message() << "table starting " << int{(*table)[0].device} << ","
                                        << int{(*table)[0].code});
        // With no file to keep entries from, the whole table is written.
        std::remove(kFile);
        std::copy(std::begin(*table), std::end(*table), std::begin(g_bindingTable));
        ASSERT_TRUE(Save());
        const Bytes saved = ReadBytes(kFile);
        EXPECT_EQ(saved, ImageOf(*table));

        Desktop().Reset();
        std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
        LoadKeyConfig(Dialog());
        EXPECT_TRUE(Messages().empty());
        ExpectLoaded(*table);

        ASSERT_TRUE(Save());
        EXPECT_EQ(ReadBytes(kFile), saved) << "loading and saving again changes nothing";
        EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
    }
}

// A save writes what the player bound in this run over the file as it is at that moment. A file
// unchanged since the load keeps its hidden entries; one that another copy of the program or a
// restored backup changed meanwhile keeps those changes wherever the player bound nothing (a field
// pressed again with what it showed counts as bound); one that holds no valid image by then has
// nothing to keep, and the dialog's table is written.
TEST_F(KeyConfigTest, SaveWritesTheBoundEntriesOverTheFileAsItIsNow) {
    const Bytes other = {1, 8, 5, 5, 0, DIK_Z, 6, 6, 0, 9, 0, 10, 0, 11, 3, 3, 0, 12};
    const Bytes merged = {1, 8, 0, DIK_S, 0, DIK_Z, 0, 200, 0, 9, 0, 10, 0, 11, 3, 3, 0, 12};
    Bytes dialog = ImageOf(kMixedTable);
    dialog[3] = DIK_S;
    Bytes broken = other;
    broken[0] = 2;
    const Bytes shortFile(other.begin(), other.end() - 1);
    const struct {
        Bytes atSave;
        Bytes written;
    } cases[] = {
        {ImageOf(kMixedTable), dialog}, {other, merged}, {broken, dialog}, {shortFile, dialog}};
    for (const auto& c : cases) {
        WriteBytes(kFile, ImageOf(kMixedTable));
        LoadKeyConfig(Dialog());
        Bind(0, {kKeyboardDevice, DIK_S});
        Bind(2, kMixedTable[2]);
        WriteBytes(kFile, c.atSave);

        EXPECT_TRUE(Save());

        EXPECT_EQ(ReadBytes(kFile), c.written);
    }
}

TEST_F(KeyConfigTest, BrokenFileIsReplacedOnlyBySaving) {
    WriteBytes(kFile, {1, 7, 0, 30});
    LoadKeyConfig(Dialog());
    EXPECT_EQ(ReadBytes(kFile), (Bytes{1, 7, 0, 30}));

    Bind(0, {0, 30});
    ASSERT_TRUE(Save());

    EXPECT_EQ(ReadBytes(kFile), (Bytes{1, 8, 0, 30, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST_F(KeyConfigTest, EachFailedSaveStepKeepsTheOldFileAndLeavesNoTempFile) {
    for (const WriteFailure& failure : kWriteFailures) {
        SCOPED_TRACE(failure.step);
        g_configFileOps = kLoggedOps;
        WriteBytes(kFile, kDefaultImage);
        failure.inject(g_configFileOps);
        std::copy(std::begin(kMixedTable), std::end(kMixedTable), std::begin(g_bindingTable));
        Desktop().Reset();
        g_calls.clear();

        FileStatus why;
        EXPECT_FALSE(SaveKeyConfig(&why));
        ReportSaveFailure(Dialog(), why);

        EXPECT_EQ(ReadBytes(kFile), kDefaultImage);
        EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
        EXPECT_EQ(g_openFiles, 0);
        EXPECT_EQ(Desktop().messageBoxes.at(0).text,
                  std::string(kSaveFailed) + "\n" + failure.cause)
            << "saving itself shows nothing; the dialog reports why it failed";
        std::vector<std::string> calls = {"openRead config.ini", "read 100", "close"};
        calls.insert(calls.end(), failure.calls.begin(), failure.calls.end());
        EXPECT_EQ(g_calls, calls);
    }
}

TEST_F(KeyConfigTest, EachFailedCreationStepReportsAndKeepsTheDefaultsInTheDialog) {
    for (const WriteFailure& failure : kWriteFailures) {
        if (std::string(failure.step) == "read-only") {
            continue; // there is no file to be read-only
        }
        SCOPED_TRACE(failure.step);
        g_configFileOps = kLoggedOps;
        failure.inject(g_configFileOps);
        Desktop().Reset();
        std::fill(std::begin(g_bindingTable), std::end(g_bindingTable), kNoBinding);
        g_calls.clear();

        LoadKeyConfig(Dialog());

        EXPECT_EQ(Messages(), (std::vector<std::string>{kCreating, std::string(kSaveFailed) + "\n" +
                                                                       failure.cause}));
        // The new file takes the name only if it is free.
        std::vector<std::string> calls = {"openRead config.ini"};
        for (const std::string& call : failure.calls) {
            calls.push_back(call.rfind("replace ", 0) == 0 ? "place " + call.substr(8) : call);
        }
        EXPECT_EQ(g_calls, calls);
        EXPECT_TRUE(DirectoryEntries().empty()) << "no file, not even a partial one";
        Binding defaults[kBindingCount];
        std::fill(std::begin(defaults), std::end(defaults), kDefaultBinding);
        ExpectLoaded(defaults);
    }
}

// Decided at once: one open, no pause, and nothing written.
TEST_F(KeyConfigTest, SaveOntoADirectoryFailsAndLeavesIt) {
    fs::create_directory(kFile);
    fs::create_directory(fs::path(kFile) / "inside");

    EXPECT_FALSE(Save());

    EXPECT_EQ(g_calls, std::vector<std::string>{"openRead config.ini"});
    EXPECT_TRUE(fs::is_directory(fs::path(kFile) / "inside"));
    EXPECT_EQ(DirectoryEntries(), kOnlyTheFile);
}

// Whatever holds the first temporary names, a file left by a crash (read-only even) or a folder,
// neither blocks a save nor is touched by it.
TEST_F(KeyConfigTest, SaveTakesTheFirstTempNameThatNothingHas) {
    WriteBytes("config.ini.0.tmp", Bytes(40, 0xEE));
    fs::permissions("config.ini.0.tmp", fs::perms::owner_read);
    fs::create_directory("config.ini.1.tmp");
    std::copy(std::begin(kMixedTable), std::end(kMixedTable), std::begin(g_bindingTable));

    ASSERT_TRUE(Save());

    EXPECT_EQ(ReadBytes(kFile), ImageOf(kMixedTable));
    EXPECT_EQ(ReadBytes("config.ini.0.tmp"), Bytes(40, 0xEE));
    EXPECT_EQ(DirectoryEntries(),
              (std::vector<std::string>{kFile, "config.ini.0.tmp", "config.ini.1.tmp"}));
    EXPECT_EQ(g_calls.at(3), "createNew config.ini.2.tmp");
}

TEST_F(KeyConfigTest, SaveFailureMessageGoesToTheGivenOwner) {
    ReportSaveFailure(Dialog(), {FileFailure::kBusy, 32});

    ASSERT_EQ(Desktop().messageBoxes.size(), 1u);
    const fake::MessageBoxCall& call = Desktop().messageBoxes[0];
    EXPECT_EQ(call.owner, Dialog());
    EXPECT_EQ(call.text, std::string(kSaveFailed) + "\nほかのプログラムがファイルを使っています");
    EXPECT_EQ(call.caption, kCaption);
    EXPECT_EQ(call.type, static_cast<UINT>(MB_OK | MB_ICONERROR));
}

// What Windows answers for a failed open, a failed write or move, and what that means. A file
// whose deletion is pending has no attributes and answers access denied; Wine never shows one.
TEST(FileFailureTest, WindowsErrorsDecideWhatFailed) {
    constexpr DWORD kNone = INVALID_FILE_ATTRIBUTES;
    constexpr DWORD kArchive = 0x20; // FILE_ATTRIBUTE_ARCHIVE, a plain file
    const struct {
        bool creating;
        DWORD openError, attributes, attributesError;
        FileFailure expected;
    } opens[] = {
        {false, ERROR_FILE_NOT_FOUND, kNone, ERROR_PATH_NOT_FOUND, FileFailure::kMissing},
        {false, ERROR_ACCESS_DENIED, kNone, ERROR_ACCESS_DENIED, FileFailure::kBusy},
        {false, ERROR_SHARING_VIOLATION, kArchive, 0, FileFailure::kBusy},
        {false, ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_DIRECTORY, 0, FileFailure::kOther},
        {true, ERROR_FILE_EXISTS, kArchive | FILE_ATTRIBUTE_READONLY, 0, FileFailure::kTaken},
        {true, ERROR_ACCESS_DENIED, FILE_ATTRIBUTE_DIRECTORY, 0, FileFailure::kTaken},
        {true, ERROR_ACCESS_DENIED, kNone, ERROR_ACCESS_DENIED, FileFailure::kTaken},
        {true, ERROR_ACCESS_DENIED, kNone, ERROR_FILE_NOT_FOUND, FileFailure::kFolderDenied},
    };
    for (const auto& o : opens) {
        EXPECT_EQ(
            DecideOpenFailure(o.creating, o.openError, o.attributes, o.attributesError).failure,
            o.expected)
            << o.creating << " " << o.openError << " " << o.attributes << " " << o.attributesError;
    }
    // Placing without replacing finds the name taken.
    EXPECT_EQ(DecideSystemFailure(ERROR_ALREADY_EXISTS).failure, FileFailure::kTaken);
}

} // namespace

#include "capture/binding_name.h"

#include "fake_windows.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>
#include <string>

namespace {

std::string Name(int device, int code) {
    return FormatBindingName({static_cast<uint8_t>(device), static_cast<uint8_t>(code)}).text;
}

// True when text is well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        int extra = c < 0x80           ? 0
                    : (c >> 5) == 0x6  ? 1
                    : (c >> 4) == 0xE  ? 2
                    : (c >> 3) == 0x1E ? 3
                                       : -1;
        if (extra < 0 || (extra == 1 && c < 0xC2) || i + extra >= text.size() + (extra == 0)) {
            return false;
        }
        unsigned cp = extra == 0 ? c : c & (0x3F >> extra);
        for (int k = 1; k <= extra; ++k) {
            const unsigned char cc = static_cast<unsigned char>(text[i + k]);
            if ((cc & 0xC0) != 0x80) {
                return false;
            }
            cp = (cp << 6) | (cc & 0x3F);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
            (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF))) {
            return false;
        }
        i += extra + 1;
    }
    return true;
}

struct NameCase {
    int device;
    int code;
    const char* name;
};

TEST(FormatBindingName, GivesTheNamesPlayersSee) {
    const NameCase cases[] = {
        {0, 0, "KEY_"},
        {0, 1, "KEY_ESC"},
        {0, 13, "KEY_="},
        {0, 30, "KEY_A"},
        {0, 41, "KEY_`"},
        {0, 43, "KEY_＼"},
        {0, 51, "KEY_,"},
        {0, 52, "KEY_."},
        {0, 83, "KEY_."},
        {0, 53, "KEY_/"},
        {0, 181, "KEY_/"},
        {0, 12, "KEY_MINUS"},
        {0, 74, "KEY_-"},
        {0, 112, "KEY_かな"},
        {0, 141, "KEY_DIK_NUMPADEQUALS"},
        {0, 144, "KEY_PREVTRACK"},
        {0, 148, "KEY_漢字"},
        {0, 200, "KEY_↑"},
        {0, 203, "KEY_←"},
        {0, 205, "KEY_→"},
        {0, 208, "KEY_↓"},
        {0, 207, "KEY_END"},
        {0, 236, "KEY_Mail"},
        {0, 237, "KEY_MEDIASELECT"},
        // Codes without an entry show their own byte, as code page 932 shows it.
        {0, 40, "KEY_("},
        {0, 84, "KEY_T"},
        {0, 121, "KEY_y"},
        {0, 124, "KEY_|"},
        {0, 126, "KEY_~"},
        {0, 127, "KEY_\x7f"},
        {0, 128, "KEY_・"},
        {0, 159, "KEY_・"},
        {0, 163, "KEY_｣"},
        {0, 177, "KEY_ｱ"},
        {0, 218, "KEY_ﾚ"},
        {0, 224, "KEY_・"},
        {0, 238, "KEY_・"},
        {0, 255, "KEY_・"},
        {1, 0, "JOY1_UP"},
        {1, 1, "JOY1_DOWN"},
        {1, 2, "JOY1_LEFT"},
        {1, 3, "JOY1_RIGHT"},
        {1, 4, "JOY1_B1"},
        {1, 35, "JOY1_B32"},
        {1, 36, "JOY1_B33"},
        {2, 0, "JOY2_UP"},
        {99, 255, "JOY99_B252"},
        {255, 255, "JOY255_B252"},
    };
    for (const NameCase& c : cases) {
        EXPECT_EQ(Name(c.device, c.code), c.name) << "(" << c.device << ", " << c.code << ")";
    }
}

TEST(FormatBindingName, EveryKeyCodeGivesValidUtf8StartingWithKey) {
    for (int code = 0; code <= 255; ++code) {
        const std::string name = Name(0, code);
        EXPECT_EQ(name.rfind("KEY_", 0), 0u) << code;
        EXPECT_TRUE(IsValidUtf8(name)) << code;
        EXPECT_EQ(name.size() > 4, code != 0) << code;
    }
}

TEST(FormatBindingName, TheKeyTableHas140EntriesAllBelow238) {
    int entries = 0;
    for (int code = 0; code <= 255; ++code) {
        if (KeyNameTableEntry(code) != nullptr) {
            ++entries;
            EXPECT_GE(code, 1);
            EXPECT_LE(code, 237);
            EXPECT_EQ(Name(0, code), std::string("KEY_") + KeyNameTableEntry(code));
        }
    }
    EXPECT_EQ(entries, 140);
    // Published codes without an entry take the fallback.
    for (int code : {40, 115, 121, 126}) {
        EXPECT_EQ(KeyNameTableEntry(code), nullptr) << code;
    }
}

TEST(FormatBindingName, PrintsTheDeviceByteAsStoredAndButtonsFromOne) {
    for (int device = 1; device <= 255; ++device) {
        EXPECT_EQ(Name(device, 4), "JOY" + std::to_string(device) + "_B1");
        EXPECT_EQ(Name(device, 0), "JOY" + std::to_string(device) + "_UP");
    }
    for (int code = kJoyFirstButton; code <= 255; ++code) {
        EXPECT_EQ(Name(1, code), "JOY1_B" + std::to_string(code - 3));
    }
    // The number writer beyond a byte: the smallest and largest values, one after the other.
    char text[kBindingNameSize];
    AppendDecimal(AppendDecimal(text, 0), std::numeric_limits<unsigned>::max());
    EXPECT_STREQ(text, ("0" + std::to_string(std::numeric_limits<unsigned>::max())).c_str());
}

TEST(FormatBindingName, LongestNamesFitTheirBuffers) {
    std::size_t longest = 0;
    for (int device = 0; device <= 255; ++device) {
        for (int code = 0; code <= 255; ++code) {
            longest = std::max(longest, Name(device, code).size());
        }
    }
    EXPECT_EQ(longest, std::strlen("KEY_DIK_NUMPADEQUALS"));
    EXPECT_LT(longest + 1, kBindingNameSize);
    EXPECT_EQ(Name(255, 255).size(), std::strlen("JOY255_B252"));
}

TEST(ShowBindingName, SetsTheFieldTextAndPassesOnTheResult) {
    fake::Desktop& desktop = fake::TheDesktop();
    desktop.Reset();
    HWND field = desktop.Control(1003);
    EXPECT_TRUE(ShowBindingName({0, 200}, field));
    EXPECT_STREQ(desktop.Text(1003), "KEY_↑");

    desktop.setTextResult = FALSE;
    EXPECT_FALSE(ShowBindingName({1, 4}, field));
    EXPECT_STREQ(desktop.Text(1003), "KEY_↑") << "a failed SetWindowText keeps the old text";
}

} // namespace

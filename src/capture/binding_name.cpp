#include "capture/binding_name.h"

#include "platform/text.h"

#include <cstring>
#include <limits>

namespace {

// Names of the DirectInput 8 key codes (DIK_ constants, dinput.h), indexed by code. A code
// without an entry shows the character of its own byte value instead.
constexpr const char* kKeyNames[] = {
    /* 0x00 */ nullptr,
    /* 0x01 */ "ESC",   // DIK_ESCAPE
    /* 0x02 */ "1",     // DIK_1
    /* 0x03 */ "2",     // DIK_2
    /* 0x04 */ "3",     // DIK_3
    /* 0x05 */ "4",     // DIK_4
    /* 0x06 */ "5",     // DIK_5
    /* 0x07 */ "6",     // DIK_6
    /* 0x08 */ "7",     // DIK_7
    /* 0x09 */ "8",     // DIK_8
    /* 0x0A */ "9",     // DIK_9
    /* 0x0B */ "0",     // DIK_0
    /* 0x0C */ "MINUS", // DIK_MINUS
    /* 0x0D */ "=",     // DIK_EQUALS
    /* 0x0E */ "BACK",  // DIK_BACK
    /* 0x0F */ "TAB",   // DIK_TAB
    /* 0x10 */ "Q",     // DIK_Q
    /* 0x11 */ "W",     // DIK_W
    /* 0x12 */ "E",     // DIK_E
    /* 0x13 */ "R",     // DIK_R
    /* 0x14 */ "T",     // DIK_T
    /* 0x15 */ "Y",     // DIK_Y
    /* 0x16 */ "U",     // DIK_U
    /* 0x17 */ "I",     // DIK_I
    /* 0x18 */ "O",     // DIK_O
    /* 0x19 */ "P",     // DIK_P
    /* 0x1A */ "[",     // DIK_LBRACKET
    /* 0x1B */ "]",     // DIK_RBRACKET
    /* 0x1C */ "Enter", // DIK_RETURN
    /* 0x1D */ "Lctrl", // DIK_LCONTROL
    /* 0x1E */ "A",     // DIK_A
    /* 0x1F */ "S",     // DIK_S
    /* 0x20 */ "D",     // DIK_D
    /* 0x21 */ "F",     // DIK_F
    /* 0x22 */ "G",     // DIK_G
    /* 0x23 */ "H",     // DIK_H
    /* 0x24 */ "J",     // DIK_J
    /* 0x25 */ "K",     // DIK_K
    /* 0x26 */ "L",     // DIK_L
    /* 0x27 */ ";",     // DIK_SEMICOLON
    /* 0x28 */ nullptr,
    /* 0x29 */ "`",       // DIK_GRAVE
    /* 0x2A */ "Lshift",  // DIK_LSHIFT
    /* 0x2B */ "＼",      // DIK_BACKSLASH
    /* 0x2C */ "Z",       // DIK_Z
    /* 0x2D */ "X",       // DIK_X
    /* 0x2E */ "C",       // DIK_C
    /* 0x2F */ "V",       // DIK_V
    /* 0x30 */ "B",       // DIK_B
    /* 0x31 */ "N",       // DIK_N
    /* 0x32 */ "M",       // DIK_M
    /* 0x33 */ ",",       // DIK_COMMA
    /* 0x34 */ ".",       // DIK_PERIOD
    /* 0x35 */ "/",       // DIK_SLASH
    /* 0x36 */ "Rshift",  // DIK_RSHIFT
    /* 0x37 */ "*",       // DIK_MULTIPLY
    /* 0x38 */ "Lalt",    // DIK_LMENU
    /* 0x39 */ "SPACE",   // DIK_SPACE
    /* 0x3A */ "CAPS",    // DIK_CAPITAL
    /* 0x3B */ "F1",      // DIK_F1
    /* 0x3C */ "F2",      // DIK_F2
    /* 0x3D */ "F3",      // DIK_F3
    /* 0x3E */ "F4",      // DIK_F4
    /* 0x3F */ "F5",      // DIK_F5
    /* 0x40 */ "F6",      // DIK_F6
    /* 0x41 */ "F7",      // DIK_F7
    /* 0x42 */ "F8",      // DIK_F8
    /* 0x43 */ "F9",      // DIK_F9
    /* 0x44 */ "F10",     // DIK_F10
    /* 0x45 */ "NUMLOCK", // DIK_NUMLOCK
    /* 0x46 */ "ScrLk",   // DIK_SCROLL
    /* 0x47 */ "N7",      // DIK_NUMPAD7
    /* 0x48 */ "N8",      // DIK_NUMPAD8
    /* 0x49 */ "N9",      // DIK_NUMPAD9
    /* 0x4A */ "-",       // DIK_SUBTRACT
    /* 0x4B */ "N4",      // DIK_NUMPAD4
    /* 0x4C */ "N5",      // DIK_NUMPAD5
    /* 0x4D */ "N6",      // DIK_NUMPAD6
    /* 0x4E */ "+",       // DIK_ADD
    /* 0x4F */ "N1",      // DIK_NUMPAD1
    /* 0x50 */ "N2",      // DIK_NUMPAD2
    /* 0x51 */ "N3",      // DIK_NUMPAD3
    /* 0x52 */ "N0",      // DIK_NUMPAD0
    /* 0x53 */ ".",       // DIK_DECIMAL
    /* 0x54 */ nullptr,
    /* 0x55 */ nullptr,
    /* 0x56 */ "OEM", // DIK_OEM_102
    /* 0x57 */ "F11", // DIK_F11
    /* 0x58 */ "F12", // DIK_F12
    /* 0x59 */ nullptr,
    /* 0x5A */ nullptr,
    /* 0x5B */ nullptr,
    /* 0x5C */ nullptr,
    /* 0x5D */ nullptr,
    /* 0x5E */ nullptr,
    /* 0x5F */ nullptr,
    /* 0x60 */ nullptr,
    /* 0x61 */ nullptr,
    /* 0x62 */ nullptr,
    /* 0x63 */ nullptr,
    /* 0x64 */ "F13", // DIK_F13
    /* 0x65 */ "F14", // DIK_F14
    /* 0x66 */ "F15", // DIK_F15
    /* 0x67 */ nullptr,
    /* 0x68 */ nullptr,
    /* 0x69 */ nullptr,
    /* 0x6A */ nullptr,
    /* 0x6B */ nullptr,
    /* 0x6C */ nullptr,
    /* 0x6D */ nullptr,
    /* 0x6E */ nullptr,
    /* 0x6F */ nullptr,
    /* 0x70 */ "かな", // DIK_KANA
    /* 0x71 */ nullptr,
    /* 0x72 */ nullptr,
    /* 0x73 */ nullptr,
    /* 0x74 */ nullptr,
    /* 0x75 */ nullptr,
    /* 0x76 */ nullptr,
    /* 0x77 */ nullptr,
    /* 0x78 */ nullptr,
    /* 0x79 */ nullptr,
    /* 0x7A */ nullptr,
    /* 0x7B */ "NOCONVERT", // DIK_NOCONVERT
    /* 0x7C */ nullptr,
    /* 0x7D */ "YEN", // DIK_YEN
    /* 0x7E */ nullptr,
    /* 0x7F */ nullptr,
    /* 0x80 */ nullptr,
    /* 0x81 */ nullptr,
    /* 0x82 */ nullptr,
    /* 0x83 */ nullptr,
    /* 0x84 */ nullptr,
    /* 0x85 */ nullptr,
    /* 0x86 */ nullptr,
    /* 0x87 */ nullptr,
    /* 0x88 */ nullptr,
    /* 0x89 */ nullptr,
    /* 0x8A */ nullptr,
    /* 0x8B */ nullptr,
    /* 0x8C */ nullptr,
    /* 0x8D */ "DIK_NUMPADEQUALS", // DIK_NUMPADEQUALS
    /* 0x8E */ nullptr,
    /* 0x8F */ nullptr,
    /* 0x90 */ "PREVTRACK", // DIK_PREVTRACK
    /* 0x91 */ "@",         // DIK_AT
    /* 0x92 */ ":",         // DIK_COLON
    /* 0x93 */ "UNDERLINE", // DIK_UNDERLINE
    /* 0x94 */ "漢字",      // DIK_KANJI
    /* 0x95 */ "STOP",      // DIK_STOP
    /* 0x96 */ "AX",        // DIK_AX
    /* 0x97 */ "UNLABELED", // DIK_UNLABELED
    /* 0x98 */ nullptr,
    /* 0x99 */ "NEXTTRACK", // DIK_NEXTTRACK
    /* 0x9A */ nullptr,
    /* 0x9B */ nullptr,
    /* 0x9C */ "NUMPADENTER", // DIK_NUMPADENTER
    /* 0x9D */ "Rctrl",       // DIK_RCONTROL
    /* 0x9E */ nullptr,
    /* 0x9F */ nullptr,
    /* 0xA0 */ "MUTE",       // DIK_MUTE
    /* 0xA1 */ "CALCULATOR", // DIK_CALCULATOR
    /* 0xA2 */ "PLAYPAUSE",  // DIK_PLAYPAUSE
    /* 0xA3 */ nullptr,
    /* 0xA4 */ "MEDIASTOP", // DIK_MEDIASTOP
    /* 0xA5 */ nullptr,
    /* 0xA6 */ nullptr,
    /* 0xA7 */ nullptr,
    /* 0xA8 */ nullptr,
    /* 0xA9 */ nullptr,
    /* 0xAA */ nullptr,
    /* 0xAB */ nullptr,
    /* 0xAC */ nullptr,
    /* 0xAD */ nullptr,
    /* 0xAE */ "VOLUMEDOWN", // DIK_VOLUMEDOWN
    /* 0xAF */ nullptr,
    /* 0xB0 */ "VOLUMEUP", // DIK_VOLUMEUP
    /* 0xB1 */ nullptr,
    /* 0xB2 */ "WEBHOME",     // DIK_WEBHOME
    /* 0xB3 */ "NUMPADCOMMA", // DIK_NUMPADCOMMA
    /* 0xB4 */ nullptr,
    /* 0xB5 */ "/", // DIK_DIVIDE
    /* 0xB6 */ nullptr,
    /* 0xB7 */ "SYSRQ", // DIK_SYSRQ
    /* 0xB8 */ "Ralt",  // DIK_RMENU
    /* 0xB9 */ nullptr,
    /* 0xBA */ nullptr,
    /* 0xBB */ nullptr,
    /* 0xBC */ nullptr,
    /* 0xBD */ nullptr,
    /* 0xBE */ nullptr,
    /* 0xBF */ nullptr,
    /* 0xC0 */ nullptr,
    /* 0xC1 */ nullptr,
    /* 0xC2 */ nullptr,
    /* 0xC3 */ nullptr,
    /* 0xC4 */ nullptr,
    /* 0xC5 */ "PAUSE", // DIK_PAUSE
    /* 0xC6 */ nullptr,
    /* 0xC7 */ "HOME", // DIK_HOME
    /* 0xC8 */ "↑",    // DIK_UP
    /* 0xC9 */ "PgUp", // DIK_PRIOR
    /* 0xCA */ nullptr,
    /* 0xCB */ "←", // DIK_LEFT
    /* 0xCC */ nullptr,
    /* 0xCD */ "→", // DIK_RIGHT
    /* 0xCE */ nullptr,
    /* 0xCF */ "END",    // DIK_END
    /* 0xD0 */ "↓",      // DIK_DOWN
    /* 0xD1 */ "PgDn",   // DIK_NEXT
    /* 0xD2 */ "INSERT", // DIK_INSERT
    /* 0xD3 */ "DELETE", // DIK_DELETE
    /* 0xD4 */ nullptr,
    /* 0xD5 */ nullptr,
    /* 0xD6 */ nullptr,
    /* 0xD7 */ nullptr,
    /* 0xD8 */ nullptr,
    /* 0xD9 */ nullptr,
    /* 0xDA */ nullptr,
    /* 0xDB */ "Lwin",  // DIK_LWIN
    /* 0xDC */ "Rwin",  // DIK_RWIN
    /* 0xDD */ "APPS",  // DIK_APPS
    /* 0xDE */ "POWER", // DIK_POWER
    /* 0xDF */ "SLEEP", // DIK_SLEEP
    /* 0xE0 */ nullptr,
    /* 0xE1 */ nullptr,
    /* 0xE2 */ nullptr,
    /* 0xE3 */ "WAKE", // DIK_WAKE
    /* 0xE4 */ nullptr,
    /* 0xE5 */ "WEBSEARCH",    // DIK_WEBSEARCH
    /* 0xE6 */ "WEBFAVORITES", // DIK_WEBFAVORITES
    /* 0xE7 */ "WEBREFRESH",   // DIK_WEBREFRESH
    /* 0xE8 */ "WEBSTOP",      // DIK_WEBSTOP
    /* 0xE9 */ "WEBFORWARD",   // DIK_WEBFORWARD
    /* 0xEA */ "WEBBACK",      // DIK_WEBBACK
    /* 0xEB */ "MYCOMPUTER",   // DIK_MYCOMPUTER
    /* 0xEC */ "Mail",         // DIK_MAIL
    /* 0xED */ "MEDIASELECT",  // DIK_MEDIASELECT
};
constexpr int kKeyNameCount = sizeof kKeyNames / sizeof kKeyNames[0];
static_assert(kKeyNameCount == 238, "key codes 0..237");

// Code page 932 shows a lone byte 0xA1..0xDF as half-width katakana U+FF61..U+FF9F; every
// other byte from 0x80 up is not a character by itself there and shows as "・".
constexpr unsigned kHalfWidthKatakanaFirst = 0xA1;
constexpr unsigned kHalfWidthKatakanaLast = 0xDF;
constexpr unsigned kHalfWidthKatakanaOffset = 0xFF61 - 0xA1;
constexpr const char* kMiddleDot = "・";

// The character that a lone code page 932 byte shows as, in UTF-8 (at most three bytes).
struct Fallback {
    char text[4];
};

Fallback FallbackCharacter(unsigned byte) {
    Fallback kind = {};
    if (byte < 0x80) {
        kind.text[0] = static_cast<char>(byte);
    } else if (byte >= kHalfWidthKatakanaFirst && byte <= kHalfWidthKatakanaLast) {
        const unsigned cp = byte + kHalfWidthKatakanaOffset;
        kind.text[0] = static_cast<char>(0xE0 | (cp >> 12));
        kind.text[1] = static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        kind.text[2] = static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        std::memcpy(kind.text, kMiddleDot, 3);
    }
    return kind;
}

constexpr const char* kDirections[] = {"UP", "DOWN", "LEFT", "RIGHT"};

} // namespace

const char* KeyNameTableEntry(int code) {
    return code >= 0 && code < kKeyNameCount ? kKeyNames[code] : nullptr;
}

char* AppendText(char* out, const char* text) {
    while (*text != '\0') {
        *out++ = *text++;
    }
    *out = '\0';
    return out;
}

char* AppendDecimal(char* out, unsigned value) {
    constexpr unsigned kBase = 10;
    char digits[std::numeric_limits<unsigned>::digits10 + 1]; // lowest digit first
    int count = 0;
    do {
        digits[count++] = static_cast<char>('0' + value % kBase);
        value /= kBase;
    } while (value != 0);
    while (count > 0) {
        *out++ = digits[--count];
    }
    *out = '\0';
    return out;
}

BindingName FormatBindingName(Binding binding) {
    BindingName name;
    if (binding.device == kKeyboardDevice) {
        const char* entry = KeyNameTableEntry(binding.code);
        const Fallback fallback = FallbackCharacter(binding.code);
        char* end = AppendText(name.text, "KEY_");
        AppendText(end, entry != nullptr ? entry : fallback.text);
        return name;
    }
    char* end = AppendText(name.text, "JOY");
    end = AppendDecimal(end, binding.device);
    end = AppendText(end, "_");
    if (binding.code < kJoyFirstButton) {
        AppendText(end, kDirections[binding.code]);
    } else {
        // Buttons are counted from 1 for the player: code 4 is "B1".
        end = AppendText(end, "B");
        AppendDecimal(end, binding.code - (kJoyFirstButton - 1));
    }
    return name;
}

BOOL ShowBindingName(Binding binding, HWND field) {
    const BindingName name = FormatBindingName(binding);
    return SetWindowTextUtf8(field, name.text);
}

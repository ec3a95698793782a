#include "look/dialog_face.h"

#include <cstdint>
#include <cstring>
#include <string_view>

namespace {

// The faces Windows draws Japanese dialogs in, best first.
constexpr std::u16string_view kPreferredFaces[] = {u"Meiryo UI", u"Yu Gothic UI", u"MS UI Gothic"};

// What names a Gothic (sans-serif) face, in English or in Japanese ("IPA Pゴシック" is the IPA P
// Gothic under a Japanese locale); a Mincho or another serif face names none of them.
constexpr std::u16string_view kGothicMarks[] = {u"Gothic", u"ゴシック", u"Sans"};

// A face written across ("@" names the same face turned for vertical writing), in proportion.
bool DrawsRows(const FaceFacts& face) {
    return face.name[0] != u'@' && !face.fixedPitch;
}

bool IsGothic(std::u16string_view name) {
    for (std::u16string_view mark : kGothicMarks) {
        if (name.find(mark) != std::u16string_view::npos) {
            return true;
        }
    }
    return false;
}

// DLGTEMPLATEEX (winuser.h, "DLGTEMPLATEEX structure" in the Windows documentation): dlgVer 1
// and signature 0xFFFF, then helpID, exStyle and style, cDlgItems and four coordinates, then
// the menu, the class and the title, each a NUL-terminated UTF-16 text or an ordinal.
constexpr std::size_t kStyleAt = 12;
constexpr std::size_t kMenuAt = 26;
constexpr std::uint32_t kSetFont = 0x40;  // DS_SETFONT
constexpr std::size_t kFontFixedPart = 6; // point size, weight, italic, charset

unsigned Word(const unsigned char* at) {
    return at[0] | at[1] << 8;
}

// The offset past a text that starts at offset at, or past the end when it does not end.
std::size_t PastText(const unsigned char* dialog, std::size_t size, std::size_t at) {
    while (at + 2 <= size && Word(dialog + at) != 0) {
        at += 2;
    }
    return at + 2;
}

// The offset past a menu or class field: 0x0000 for none, 0xFFFF and an ordinal, or a text.
std::size_t PastNameOrOrdinal(const unsigned char* dialog, std::size_t size, std::size_t at) {
    if (at + 2 <= size && Word(dialog + at) == 0xFFFF) {
        return at + 4;
    }
    return PastText(dialog, size, at);
}

std::size_t DwordAligned(std::size_t at) {
    return (at + 3) & ~std::size_t{3};
}

} // namespace

const char16_t* ChooseDialogFace(bool templateDrawsSample, bool templateFixedPitch,
                                 const FaceFacts* faces, std::size_t count) {
    if (templateDrawsSample && !templateFixedPitch) {
        return nullptr;
    }
    for (std::u16string_view preferred : kPreferredFaces) {
        for (std::size_t i = 0; i < count; ++i) {
            if (DrawsRows(faces[i]) && faces[i].name == preferred) {
                return faces[i].name;
            }
        }
    }
    // Any other Gothic face; the first by name, whatever order the system lists them in.
    const char16_t* chosen = nullptr;
    for (std::size_t i = 0; i < count; ++i) {
        if (DrawsRows(faces[i]) && IsGothic(faces[i].name) &&
            (chosen == nullptr || std::u16string_view(faces[i].name) < chosen)) {
            chosen = faces[i].name;
        }
    }
    return chosen;
}

bool FindTemplateFont(const unsigned char* dialog, std::size_t size, TemplateFont* font) {
    if (size < kMenuAt || Word(dialog) != 1 || Word(dialog + 2) != 0xFFFF ||
        (dialog[kStyleAt] & kSetFont) == 0) {
        return false;
    }
    std::size_t at = PastNameOrOrdinal(dialog, size, kMenuAt);
    at = PastNameOrOrdinal(dialog, size, at);
    at = PastText(dialog, size, at);
    font->pointSize = at;
    font->charset = at + kFontFixedPart - 1;
    font->face = at + kFontFixedPart;
    at = PastText(dialog, size, font->face);
    font->items = DwordAligned(at);
    return at <= size;
}

std::size_t CopyTemplateWithFace(const unsigned char* dialog, std::size_t size,
                                 const TemplateFont& font, const char16_t* face,
                                 unsigned char charset, unsigned char* out, std::size_t room) {
    const std::size_t faceLength = std::u16string_view(face).size() + 1;
    const std::size_t items = DwordAligned(font.face + 2 * faceLength);
    const std::size_t rest = size > font.items ? size - font.items : 0;
    if (items + rest > room) {
        return 0;
    }
    std::memcpy(out, dialog, font.face);
    out[font.charset] = charset;
    for (std::size_t i = 0; i < faceLength; ++i) {
        out[font.face + 2 * i] = static_cast<unsigned char>(face[i] & 0xFF);
        out[font.face + 2 * i + 1] = static_cast<unsigned char>(face[i] >> 8);
    }
    std::memset(out + font.face + 2 * faceLength, 0, items - font.face - 2 * faceLength);
    std::memcpy(out + items, dialog + font.items, rest);
    return items + rest;
}

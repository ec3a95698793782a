#include "look/dialog_face.h"
#include "look/warning_colour.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct FaceRow {
    const char* system;
    bool templateDrawsSample;
    bool templateFixedPitch;
    std::vector<FaceFacts> faces; // in the order the system lists them
    const char16_t* chosen;       // nullptr: the template's font stays
};

TEST(DialogFace, ChosenFromWhatTheSystemHas) {
    const FaceRow rows[] = {
        {"Japanese Windows",
         true,
         false,
         {{u"MS UI Gothic", false}, {u"Meiryo UI", false}},
         nullptr},
        {"Western Windows",
         false,
         false,
         {{u"@MS UI Gothic", false},
          {u"MS UI Gothic", false},
          {u"MS Gothic", true},
          {u"Yu Gothic UI", false},
          {u"Meiryo UI", false}},
         u"Meiryo UI"},
        {"Western Windows without Meiryo",
         false,
         false,
         {{u"MS UI Gothic", false}, {u"Yu Gothic UI", false}},
         u"Yu Gothic UI"},
        {"Western Wine",
         false,
         false,
         {{u"IPAGothic", true}, {u"@IPAPGothic", false}, {u"IPAPGothic", false}},
         u"IPAPGothic"},
        {"Japanese Wine, a fixed-pitch fallback",
         true,
         true,
         {{u"IPAゴシック", true}, {u"IPA Pゴシック", false}},
         u"IPA Pゴシック"},
        {"Minchos listed first",
         false,
         false,
         {{u"IPAPMincho", false}, {u"ＭＳ Ｐ明朝", false}, {u"Noto Sans CJK JP", false}},
         u"Noto Sans CJK JP"},
        {"Gothics by name",
         false,
         false,
         {{u"VL PGothic", false}, {u"IPAPGothic", false}},
         u"IPAPGothic"},
        {"Gothics by name, listed the other way",
         false,
         false,
         {{u"IPAPGothic", false}, {u"VL PGothic", false}},
         u"IPAPGothic"},
        {"Nothing that fits",
         false,
         false,
         {{u"IPAMincho", false}, {u"@IPAPGothic", false}, {u"MS Gothic", true}},
         nullptr},
    };
    for (const FaceRow& row : rows) {
        const char16_t* chosen = ChooseDialogFace(row.templateDrawsSample, row.templateFixedPitch,
                                                  row.faces.data(), row.faces.size());
        EXPECT_EQ(chosen ? std::u16string(chosen) : u"(none)",
                  row.chosen ? std::u16string(row.chosen) : u"(none)")
            << row.system;
    }
}

// An extended template: version 1, no help id or extended style, DS_SETFONT | WS_POPUP, one
// control at 0, 0, 10×10, no menu or class, title "A", 8 point "MS Shell Dlg", then the control
// at the next DWORD boundary, here a stand-in of 24 bytes.
std::vector<unsigned char> Template() {
    std::vector<unsigned char> bytes = {1, 0,    0xFF, 0xFF, 0, 0, 0, 0, 0,    0, 0,  0, 0x40, 0,
                                        0, 0x80, 1,    0,    0, 0, 0, 0, 10,   0, 10, 0, 0,    0,
                                        0, 0,    'A',  0,    0, 0, 8, 0, 0x90, 1, 0,  1};
    for (char16_t c : std::u16string(u"MS Shell Dlg") + u'\0') {
        bytes.insert(bytes.end(), {static_cast<unsigned char>(c), 0});
    }
    bytes.resize((bytes.size() + 3) & ~size_t{3});
    for (unsigned char n = 0; n < 24; ++n) {
        bytes.push_back(n);
    }
    return bytes;
}

TEST(DialogFace, TemplateCopyNamesTheFace) {
    const std::vector<unsigned char> original = Template();
    TemplateFont font;
    ASSERT_TRUE(FindTemplateFont(original.data(), original.size(), &font));
    EXPECT_EQ(font.face, 40u);
    EXPECT_EQ(font.items, 68u);
    for (std::u16string face : {u"Meiryo UI", u"IPA Pゴシック", u"MS UI Gothic"}) {
        unsigned char copy[128] = {};
        const size_t size = CopyTemplateWithFace(original.data(), original.size(), font,
                                                 face.c_str(), 0x80, copy, sizeof copy);
        TemplateFont copied;
        ASSERT_TRUE(FindTemplateFont(copy, size, &copied));
        EXPECT_EQ(copied.items % 4, 0u);
        EXPECT_EQ(copy[copied.charset], 0x80);
        std::u16string named;
        for (size_t at = copied.face; copy[at] | copy[at + 1]; at += 2) {
            named += static_cast<char16_t>(copy[at] | copy[at + 1] << 8);
        }
        EXPECT_EQ(named, face);
        std::vector<unsigned char> header(original.begin(), original.begin() + 40);
        header[font.charset] = 0x80;
        EXPECT_EQ(std::vector<unsigned char>(copy, copy + 40), header);
        EXPECT_EQ(std::vector<unsigned char>(copy + copied.items, copy + size),
                  std::vector<unsigned char>(original.begin() + 68, original.end()));
        EXPECT_EQ(CopyTemplateWithFace(original.data(), original.size(), font, face.c_str(), 0x80,
                                       copy, size - 1),
                  0u);
    }
    std::vector<unsigned char> noFont = original;
    noFont[12] = 0;
    EXPECT_FALSE(FindTemplateFont(noFont.data(), noFont.size(), &font));
    EXPECT_FALSE(FindTemplateFont(original.data(), 50, &font)); // ends inside the face name
}

TEST(WarningColour, ReadsOnTheBackground) {
    struct {
        const char* theme;
        Colour background, text, warning;
    } rows[] = {
        {"usual", RgbColour(0xF0, 0xF0, 0xF0), 0, kWarningRed},
        {"high contrast white", RgbColour(0xFF, 0xFF, 0xFF), 0, kWarningRed},
        {"high contrast black", 0, RgbColour(0xFF, 0xFF, 0xFF), kWarningLightRed},
        {"dark grey (dusk)", RgbColour(0x2D, 0x32, 0x36), RgbColour(0xFF, 0xFF, 0xFF),
         kWarningLightRed},
        {"mid grey", RgbColour(0x80, 0x80, 0x80), RgbColour(0xFF, 0xFF, 0),
         RgbColour(0xFF, 0xFF, 0)},
        {"red", RgbColour(0xC0, 0, 0), RgbColour(0xFF, 0xFF, 0xFF), RgbColour(0xFF, 0xFF, 0xFF)},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ChooseWarningColour(row.background, row.text), row.warning) << row.theme;
    }
}

} // namespace

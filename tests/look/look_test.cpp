#include "look/dialog_face.h"
#include "look/warning_colour.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Faces as systems list them for Japanese.
constexpr FaceFacts kMeiryo{u"Meiryo UI", false}, kYu{u"Yu Gothic UI", false},
    kMsUi{u"MS UI Gothic", false}, kMsUiVertical{u"@MS UI Gothic", false},
    kMsGothic{u"MS Gothic", true}, kIpa{u"IPAGothic", true}, kIpaP{u"IPAPGothic", false},
    kIpaPVertical{u"@IPAPGothic", false}, kIpaJa{u"IPAゴシック", true},
    kIpaPJa{u"IPA Pゴシック", false}, kNoto{u"Noto Sans CJK JP", false},
    kMincho{u"IPAPMincho", false}, kMinchoJa{u"ＭＳ Ｐ明朝", false};

TEST(DialogFace, ChosenFromWhatTheSystemHas) {
    const struct {
        bool templateDrawsSample, templateFixedPitch;
        std::vector<FaceFacts> faces; // in the order the system lists them
        std::u16string chosen;        // empty: the template's font stays
    } rows[] = {
        {true, false, {kMsUi, kMeiryo}, u""}, // Japanese Windows
        {false, false, {kMsUiVertical, kMsUi, kMsGothic, kYu, kMeiryo}, kMeiryo.name},
        {false, false, {kMsUi, kYu}, kYu.name},
        {false, false, {kIpa, kIpaPVertical, kIpaP}, kIpaP.name}, // Western Wine
        {true, true, {kIpaJa, kIpaPJa}, kIpaPJa.name},            // Japanese Wine
        {false, false, {kMincho, kMinchoJa, kNoto, kIpaP}, kIpaP.name},
        {false, false, {kMincho, kIpaPVertical, kMsGothic}, u""},
    };
    for (const auto& row : rows) {
        const char16_t* chosen = ChooseDialogFace(row.templateDrawsSample, row.templateFixedPitch,
                                                  row.faces.data(), row.faces.size());
        EXPECT_EQ(chosen ? chosen : u"", row.chosen) << &row - rows;
    }
}

TEST(WarningColour, ReadsOnTheBackground) {
    const Colour white = RgbColour(0xFF, 0xFF, 0xFF), yellow = RgbColour(0xFF, 0xFF, 0);
    const struct {
        Colour background, text, warning;
    } rows[] = {
        {RgbColour(0xF0, 0xF0, 0xF0), 0, kWarningRed}, // the usual theme
        {white, 0, kWarningRed},                       // high contrast white
        {0, white, kWarningLightRed},                  // high contrast black
        {RgbColour(0x2D, 0x32, 0x36), white, kWarningLightRed},
        {RgbColour(0x80, 0x80, 0x80), yellow, yellow}, // neither red reads on mid grey
        {kWarningRed, white, white},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(ChooseWarningColour(row.background, row.text), row.warning) << &row - rows;
    }
}

} // namespace

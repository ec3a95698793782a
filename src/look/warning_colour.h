// The colour of a warning in the dialog, chosen against the system's colours.
#pragma once

#include <cstdint>

// A colour as Windows gives it (COLORREF): 0x00BBGGRR.
using Colour = std::uint32_t;

constexpr Colour RgbColour(unsigned red, unsigned green, unsigned blue) {
    return red | green << 8 | blue << 16;
}

// The usual warning red, and the light red that reads on dark backgrounds (high contrast).
constexpr Colour kWarningRed = RgbColour(0xC0, 0x00, 0x00);
constexpr Colour kWarningLightRed = RgbColour(0xFF, 0x80, 0x80);

// The colour a warning is drawn in on background, beside texts drawn in text: the first red that
// reads on that background, else the text's own colour, which the theme made to read there.
Colour ChooseWarningColour(Colour background, Colour text);

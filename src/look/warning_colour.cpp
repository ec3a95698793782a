#include "look/warning_colour.h"

namespace {

// The contrast that text of a normal size needs against its background (WCAG 2.x, success
// criterion 1.4.3).
constexpr double kReadableContrast = 4.5;

// x to the power 2.4, for x from 0 to 1: x² times the fifth root of x², which Newton's method
// finds from 1 in a few steps. (std::pow would bring the C library's 3 KiB of it along.)
double PowerTwoPointFour(double x) {
    const double square = x * x;
    double root = 1.0;
    for (int step = 0; step < 24; ++step) {
        root = (4 * root + square / (root * root * root * root)) / 5;
    }
    return square * root;
}

// One channel of an sRGB colour, 0 to 255, as linear light (the sRGB transfer function).
double Linear(unsigned channel) {
    const double value = channel / 255.0;
    return value <= 0.04045 ? value / 12.92 : PowerTwoPointFour((value + 0.055) / 1.055);
}

// WCAG's relative luminance: 0 for black, 1 for white.
double Luminance(Colour colour) {
    return 0.2126 * Linear(colour & 0xFF) + 0.7152 * Linear(colour >> 8 & 0xFF) +
           0.0722 * Linear(colour >> 16 & 0xFF);
}

double Contrast(Colour one, Colour other) {
    const double a = Luminance(one) + 0.05;
    const double b = Luminance(other) + 0.05;
    return a > b ? a / b : b / a;
}

} // namespace

Colour ChooseWarningColour(Colour background, Colour text) {
    constexpr Colour kReds[] = {kWarningRed, kWarningLightRed};
    for (Colour red : kReds) {
        if (Contrast(red, background) >= kReadableContrast) {
            return red;
        }
    }
    return text;
}

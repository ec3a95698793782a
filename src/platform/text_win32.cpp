#include "platform/text.h"

namespace {

constexpr UINT kCodePageShiftJis = 932;

// Converts UTF-8 to UTF-16 into a fixed buffer, cutting what does not fit.
void Widen(const char* text, WCHAR (&out)[kMaxBoundaryText]) {
    out[0] = L'\0';
    if (MultiByteToWideChar(CP_UTF8, 0, text, -1, out, kMaxBoundaryText) == 0) {
        out[kMaxBoundaryText - 1] = L'\0';
    }
}

} // namespace

BOOL SetWindowTextUtf8(HWND window, const char* text) {
    WCHAR wide[kMaxBoundaryText];
    Widen(text, wide);
    return SetWindowTextW(window, wide);
}

int MessageBoxUtf8(HWND owner, const char* text, const char* caption, UINT type) {
    WCHAR wideText[kMaxBoundaryText];
    WCHAR wideCaption[kMaxBoundaryText];
    Widen(text, wideText);
    Widen(caption, wideCaption);
    return MessageBoxW(owner, wideText, wideCaption, type);
}

void OutputDebugStringCp932(const char* text) {
    WCHAR wide[kMaxBoundaryText];
    Widen(text, wide);
    // Every character of the program's messages exists in code page 932, so at most two
    // bytes stand for one UTF-16 unit. Zeroed first: a conversion that fails may have written
    // part of the buffer or none of it, and what goes out is still a terminated string.
    char bytes[2 * kMaxBoundaryText] = {};
    if (WideCharToMultiByte(kCodePageShiftJis, 0, wide, -1, bytes, sizeof bytes, nullptr,
                            nullptr) == 0) {
        bytes[sizeof bytes - 1] = '\0';
    }
    OutputDebugStringA(bytes);
}

void AnsiToUtf8(const char* text, char* out, int size) {
    WCHAR wide[MAX_PATH];
    // Characters, without the NUL; -1 when the text does not convert.
    int units = MultiByteToWideChar(CP_ACP, 0, text, -1, wide, MAX_PATH) - 1;
    int written = 0;
    // A conversion that does not fit fails as a whole, so fewer and fewer characters are tried
    // until they fit; a surrogate pair stays whole.
    for (; units > 0 && written == 0 && size > 1; --units) {
        if (!IS_HIGH_SURROGATE(wide[units - 1])) {
            written = WideCharToMultiByte(CP_UTF8, 0, wide, units, out, size - 1, nullptr, nullptr);
        }
    }
    out[written] = '\0';
}

#include "shell/dialog_font.h"

#include "look/dialog_face.h"
#include "resources/resource.h"

namespace {

// Texts the dialog shows, for telling whether a font draws Japanese.
constexpr WCHAR kJapaneseSample[] = L"キャンセル欄保存先";
constexpr int kSampleLength = sizeof kJapaneseSample / sizeof kJapaneseSample[0] - 1;

// The Japanese faces the system lists, as many as are looked at.
constexpr int kMaxFaces = 256;
struct JapaneseFaces {
    WCHAR names[kMaxFaces][LF_FACESIZE];
    FaceFacts facts[kMaxFaces];
    int count;
};

// Despite its name, TMPF_FIXED_PITCH is set for a variable-pitch font (wingdi.h).
bool IsFixedPitch(BYTE pitchAndFamily) {
    return (pitchAndFamily & TMPF_FIXED_PITCH) == 0;
}

// Called once per face the system has for Japanese.
int CALLBACK OnJapaneseFace(const LOGFONTW* font, const TEXTMETRICW* metrics, DWORD, LPARAM list) {
    JapaneseFaces& faces = *reinterpret_cast<JapaneseFaces*>(list);
    if (faces.count == kMaxFaces) {
        return FALSE;
    }
    WCHAR* name = faces.names[faces.count];
    lstrcpynW(name, font->lfFaceName, LF_FACESIZE);
    faces.facts[faces.count++] = {reinterpret_cast<const char16_t*>(name),
                                  IsFixedPitch(metrics->tmPitchAndFamily)};
    return TRUE;
}

// Whether the font selected into the context has a glyph for every character of the sample. A
// template font that does not exist falls back to what the system finds for the character set:
// outside a Japanese system a Western font that draws Japanese as empty boxes, and under Wine in
// a Japanese locale a fixed-pitch font whose rows are too wide for the dialog and whose small
// sizes draw the underscore below the line, where a field cuts it off.
bool DrawsSample(HDC context) {
    WORD glyphs[kSampleLength];
    if (GetGlyphIndicesW(context, kJapaneseSample, kSampleLength, glyphs,
                         GGI_MARK_NONEXISTING_GLYPHS) != kSampleLength) {
        return false;
    }
    for (WORD glyph : glyphs) {
        if (glyph == 0xFFFF) {
            return false;
        }
    }
    return true;
}

// The Japanese face for the template whose font is at font, or null when its own font fits.
const char16_t* ChooseFace(const BYTE* dialog, const TemplateFont& font, JapaneseFaces* faces) {
    const HDC screen = GetDC(nullptr);
    const WORD points = static_cast<WORD>(dialog[font.pointSize] | dialog[font.pointSize + 1] << 8);
    // The font as the dialog manager makes it from the template (the face is WORD-aligned).
    const HFONT own = CreateFontW(-MulDiv(points, GetDeviceCaps(screen, LOGPIXELSY), 72), 0, 0, 0,
                                  FW_NORMAL, FALSE, FALSE, FALSE, dialog[font.charset], 0, 0, 0, 0,
                                  reinterpret_cast<const WCHAR*>(dialog + font.face));
    const HGDIOBJ original = SelectObject(screen, own);
    TEXTMETRICW metrics = {};
    GetTextMetricsW(screen, &metrics);
    const bool drawsSample = DrawsSample(screen);
    SelectObject(screen, original);
    DeleteObject(own);
    const char16_t* chosen = nullptr;
    if (!drawsSample || IsFixedPitch(metrics.tmPitchAndFamily)) {
        LOGFONTW japanese = {};
        japanese.lfCharSet = SHIFTJIS_CHARSET;
        EnumFontFamiliesExW(screen, &japanese, OnJapaneseFace, reinterpret_cast<LPARAM>(faces), 0);
        chosen = ChooseDialogFace(drawsSample, IsFixedPitch(metrics.tmPitchAndFamily), faces->facts,
                                  faces->count);
    }
    ReleaseDC(nullptr, screen);
    return chosen;
}

} // namespace

HWND CreateConfigDialog(HINSTANCE instance, DLGPROC procedure) {
    // RT_DIALOG, resource type 5, as the W functions take it.
    const HRSRC resource =
        FindResourceW(instance, MAKEINTRESOURCEW(IDD_CONFIG), MAKEINTRESOURCEW(5));
    const HGLOBAL loaded = resource ? LoadResource(instance, resource) : nullptr;
    const BYTE* dialog = loaded ? static_cast<const BYTE*>(LockResource(loaded)) : nullptr;
    if (!dialog) {
        return nullptr;
    }
    const DWORD size = SizeofResource(instance, resource);
    TemplateFont font;
    static JapaneseFaces faces;
    const char16_t* face =
        FindTemplateFont(dialog, size, &font) ? ChooseFace(dialog, font, &faces) : nullptr;
    // The copy lives until the dialog is created: the dialog manager keeps nothing of it.
    const DWORD room = size + sizeof faces.names[0] + sizeof(DWORD);
    BYTE* copy = face ? static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, room)) : nullptr;
    if (copy && CopyTemplateWithFace(dialog, size, font, face, SHIFTJIS_CHARSET, copy, room) != 0) {
        dialog = copy;
    }
    const HWND window = CreateDialogIndirectParamW(
        instance, reinterpret_cast<const DLGTEMPLATE*>(dialog), nullptr, procedure, 0);
    if (copy) {
        HeapFree(GetProcessHeap(), 0, copy);
    }
    return window;
}

// The dialog's font: which Japanese face it is drawn in when its template's font cannot draw
// its texts, and the copy of the template that names that face.
#pragma once

#include <cstddef>

// What the system says of one font face that has Japanese.
struct FaceFacts {
    const char16_t* name;
    bool fixedPitch;
};

// The face the dialog is drawn in, from the faces the system has for Japanese; nullptr when the
// template's own font draws the sample of the dialog's texts in proportion, and the template
// stays as it is (a Japanese system), or when no face fits.
const char16_t* ChooseDialogFace(bool templateDrawsSample, bool templateFixedPitch,
                                 const FaceFacts* faces, std::size_t count);

// Where an extended dialog template (DLGTEMPLATEEX) keeps its font, as offsets into its bytes.
struct TemplateFont {
    std::size_t pointSize; // a WORD, then the weight (WORD), italic (BYTE) and charset (BYTE)
    std::size_t charset;
    std::size_t face;  // the NUL-terminated UTF-16 face name
    std::size_t items; // the first control, at the first DWORD boundary after the name
};

// Finds the font of an extended dialog template of size bytes; false when it is no extended
// template, names no font (no DS_SETFONT) or ends before its font does.
bool FindTemplateFont(const unsigned char* dialog, std::size_t size, TemplateFont* font);

// Writes to out (room bytes) the template with face and charset in place of its font's, the
// controls moved to stay on DWORD boundaries; returns the copy's size, 0 when it does not fit.
std::size_t CopyTemplateWithFace(const unsigned char* dialog, std::size_t size,
                                 const TemplateFont& font, const char16_t* face,
                                 unsigned char charset, unsigned char* out, std::size_t room);

#include "shell/binding_fields.h"

#include "capture/capture.h"
#include "resources/resource.h"

namespace {

// The Binding fields' own window procedure, shared by all of them.
WNDPROC g_fieldProc = nullptr;

// Nothing on an edit control's menu serves a read-only field, and the keys that work the menu
// would be bound.
LRESULT CALLBACK FieldProc(HWND field, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CONTEXTMENU) {
        return 0;
    }
    return CallWindowProcW(g_fieldProc, field, message, wParam, lParam);
}

} // namespace

void TakeFieldMenusAway(HWND dialog) {
    for (int id = IDC_BINDING_UP; id <= IDC_BINDING_BUTTON4; ++id) {
        g_fieldProc = reinterpret_cast<WNDPROC>(SetWindowLongPtrW(
            GetDlgItem(dialog, id), GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FieldProc)));
    }
}

void OnBindingFieldCommand(HWND dialog, int id, int code) {
    // A click on a label waits for its field's input, as a click on the field does.
    if (IsVisibleBindingField(id - IDC_LABEL_OFFSET) && code == STN_CLICKED) {
        SetFocus(GetDlgItem(dialog, id - IDC_LABEL_OFFSET));
    }
    // The field that waits is drawn highlighted: it is drawn anew when it gets or loses the focus.
    if (IsVisibleBindingField(id) && (code == EN_SETFOCUS || code == EN_KILLFOCUS)) {
        InvalidateRect(GetDlgItem(dialog, id), nullptr, TRUE);
    }
}

// Identifiers of the configuration dialog and its controls, shared by keyconfig.rc and the code.
#pragma once

#define IDD_CONFIG 101

#define IDC_OPTION1 1001

// The Binding fields, one per game action, in table order. The last two stay hidden.
#define IDC_BINDING_UP 1003
#define IDC_BINDING_DOWN 1004
#define IDC_BINDING_LEFT 1005
#define IDC_BINDING_RIGHT 1006
#define IDC_BINDING_SHOT 1007
#define IDC_BINDING_BOMB 1008
#define IDC_BINDING_BUTTON3 1009
#define IDC_BINDING_BUTTON4 1010

// The hidden field that shows the last offered Binding as two numbers.
#define IDC_READOUT 1012

#define IDC_LABEL (-1)

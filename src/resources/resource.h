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

// The labels of the six visible fields: clicking one focuses its field, IDC_LABEL_OFFSET above.
#define IDC_LABEL_OFFSET 20
#define IDC_LABEL_UP 1023
#define IDC_LABEL_DOWN 1024
#define IDC_LABEL_LEFT 1025
#define IDC_LABEL_RIGHT 1026
#define IDC_LABEL_SHOT 1027
#define IDC_LABEL_BOMB 1028

// The line between the fields and the buttons that says what to do.
#define IDC_INSTRUCTION 1013
// Below the buttons: the controller that is JOY1 (or why an input cannot be bound), two lines.
#define IDC_CONTROLLER 1014
// Below that: the configuration file being edited, its full path.
#define IDC_CONFIG_PATH 1015

#define IDC_LABEL (-1)

// Identifiers shared by the bare dialog's template and its code.
#pragma once

#define IDD_BARE_DIALOG 101
// The one edit control has the readout field's identifier, by which keyconfig_probe finds "the
// dialog": the benchmark waits for both programs in the same way.
#define IDC_BARE_EDIT 1012

#include "capture/binding.h"

Binding g_bindingTable[kBindingCount];
uint8_t g_boundInRun;

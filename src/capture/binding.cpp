#include "capture/binding.h"

Binding g_bindingTable[kBindingCount];

#include "SystemBeep.h"

#include <windows.h>

// Windows has a sound for each icon; Qt's own beep is the default one
// (MB_OK). Under wine without a sound device this is silent, and wine
// reports success all the same.
void ErrorBeep() { MessageBeep(MB_ICONHAND); }

#pragma once
// The system's error beep, the one that goes with the error icon, for the
// message box's "beep" argument.
void ErrorBeep();

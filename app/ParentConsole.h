#pragma once
// A window program on Windows has no console of its own. Usage and version
// are still meant for the console that started it: this connects standard
// output and error to that console, unless they already go somewhere (a
// file, a pipe). Elsewhere the program always has its terminal: nothing to do.

#ifdef _WIN32
void UseParentConsole();
#else
inline void UseParentConsole() {}
#endif

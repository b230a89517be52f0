#pragma once

// SIGINT and SIGTERM only raise a flag: the command in progress finishes its
// current exchange, and the port is then closed the ordinary way, so that the
// simulator leaves remote mode ("!K0") even when a script stops us.
void InstallInterruptHandlers();

// On Windows a console Ctrl+C or Ctrl+Break counts as SIGINT, and closing the
// console, logging off or shutting down as SIGTERM.

// The signal that arrived (SIGINT, SIGTERM), or 0.
int InterruptSignal();
inline bool Interrupted() { return InterruptSignal() != 0; }

// Called by the system's handler: the first signal to arrive is kept.
void NoteInterrupt(int signal);

// Sleeps for ms milliseconds, or less when a signal arrives. Returns false
// when it was interrupted.
bool SleepUnlessInterrupted(int ms);

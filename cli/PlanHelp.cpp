#include "PlanHelp.h"

const char* PlanHelp() {
    return R"~(Usage: knsimtool-cli [--port NAME[,NAME...] | --serial SN[,SN...] | --all]
                     run PLAN.toml [--junit FILE] [--json]

Runs a test plan: its steps in order on every chosen simulator (on a bench,
each box on its own thread, with a progress row per box on standard error:
step k of n and its name). The whole plan is checked before any simulator is
touched; anything wrong in it exits with 2 and "PLAN:LINE:COLUMN: what is
wrong" (a misspelt key with the nearest known one), and nothing is sent.

The plan (TOML):
  name = "scan tool regression"   the plan's name (default: the file's name)
  timeout = 60                    seconds for each step's command (default 60)
  [env]                           variables for every step's command
  NAME = "value"                  (names beginning with KNSIM_ are the run's)
  [box."KN0001".env]              variables for one box's commands, matched by
  ADAPTER = "/dev/ttyUSB4"        serial number or port name (either wins
                                  over [env]; the serial number over the port)
  [[step]]                        one per step, in order
  name = "P0301 on CAN"           required, unique
  protocol = 6                    1 to 9            (as set-protocol)
  ecus = 2                        1 or 2            (as set-protocol --ecus)
  ecu1 = ["P0301", "P0420"]       codes, [] for none (as set-codes --ecu1;
  ecu2 = []                       also a text "P0301,P0420")
  mil = true                      (as set-codes --mil)
  apply = "setup.kns"             instead of the five above: a configuration
                                  file, relative to the plan's folder
  run = "scantool --read"         a command line for /bin/sh -c (Windows:
                                  cmd /c), run in the plan's folder
  timeout = 10                    seconds, this step's command
  [step.expect]                   read back from the box after the command
  codes = 0                       active codes a scan tool can read: ECU 2's
                                  only while two ECUs are on
  ecu1 = ["P0301"]                the active codes, in slot order
  ecu2 = []                       (none while one ECU is on)
  mil = false                     (left out: not compared)

Relative paths in a plan start at the plan's folder, where its commands run
too, so a plan runs the same from any folder. A step that sends codes but
no mil sets the MIL as the editor does: on when either ECU's table holds a
code (ECU 2's table counts even while one ECU is on).

A step (a) puts its set-up on the box with exactly the lines set-protocol
then set-codes (or apply) would send at that moment; keys left out stay as
the box holds them; (b) runs its command with standard input empty, its
output captured, and these variables besides the plan's and the box's:
  KNSIM_PORT, KNSIM_SERIAL, KNSIM_PROTOCOL (6), KNSIM_PROTOCOL_NAME
  ("6 - CAN 11/500"), KNSIM_ECUS, KNSIM_ECU1_CODES, KNSIM_ECU2_CODES (the
  box's active codes after the set-up: "P0301,P0420", empty for none, and
  ECU 2's empty while one ECU is on),
  KNSIM_MIL (on/off), KNSIM_STEP, KNSIM_PLAN, KNSIM_PLAN_DIR (the plan's folder)
The box stays connected and in remote mode meanwhile, and is not polled.
Past its time-out the command and everything it started are ended, whatever
process group or session they made for themselves (on Linux asked with
SIGTERM, killed 2 s later; on Windows a job object), as is whatever it leaves
running when it ends. (c) reads the box back and compares it with
[step.expect].

Results: passed; failed (the command's exit status, "timed out after N s", an
unmet expectation with expected and seen); error (the box failed: silent,
vanished, refused; the rest of that box's plan is skipped, other boxes go
on); skipped. SIGINT or SIGTERM ends the running commands, the boxes leave
remote mode, the step under way is an error and the steps not begun are
skipped; the reports are still written (exit 130 or 143). Whatever else fails
while a box runs its plan, the steps already run keep their results.

Reports: a table on standard output (port, serial, step, result, seconds,
the first line of the reason) and a line of totals; --json instead gives an
array with one object per box: "port", "serial", "firmware", "result"
(passed, failed, error), "started", "seconds", "steps": [{"name", "result",
"seconds", "exit_status" (null when it did not run to its end), "reasons"}].
--junit FILE also writes JUnit XML: one <testsuite> per box (named by its
serial number; port, serial and firmware as properties), one <testcase> per
step (classname: the plan's name and the box, "scan tool regression.KN0001")
with <failure>, <error> or <skipped/>, and the command's output in
<system-out> and <system-err> (each cut to its first and last 32 KiB, with a
note, past 64 KiB). The file is only ever replaced whole: before any box is
touched it says the run has not finished (an error, so that a run killed
hard shows red), and a plan error, no simulator found or an interrupt during
the search leave it with that error as its one <testcase> "run".

Exit status: 0 every step passed; 1 any step did not pass (failed, erred or
was skipped) or no simulator was found; 2 the plan is wrong; 3 the plan
cannot be read or the JUnit file cannot be written; 130/143 interrupted.
)~";
}

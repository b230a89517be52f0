#include "HelpText.h"

#include "PlanHelp.h"

#include "link/PortChoice.h"

#include <map>

namespace {

const char* const General = R"~(Usage: knsimtool-cli [--port NAME|--serial SN|--all] [--json] [-v] COMMAND [ARG]

Drives the KARNOL OBD-II ECU simulator from scripts and test benches, with the
same link, firmware update and configuration files as the window.

Commands:
  ports [--probe]        list the serial ports in natural order
  info                   serial number, installed and carried firmware, and
                         whether an update is due
  status                 protocol, ECU count, MIL and the two code counts
  show                   status and configuration with all twenty code slots
  set-protocol N [--ecus 1|2]
                         set protocol N (1 to 9) and the ECU count
  set-codes [--ecu1 LIST] [--ecu2 LIST] [--mil on|off]
                         set trouble codes and the MIL, then show the result
  apply FILE.kns         send a configuration file, as the window opens one
  save FILE.kns          save the simulator's set-up, as the window saves it
  diff FILE.kns          list where the simulator and the file differ
  update-firmware [--if-needed | --always | --reset-button]
                         update the firmware with the carried image
  watch                  print the status whenever it changes, until stopped
  run PLAN.toml [--junit FILE]
                         run a test plan's steps (set-up, a command, what the
                         box must hold after it) and report them, also as JUnit
  help [COMMAND]         this help, or the help of one command

Global options:
  --port NAME     the port of the simulator: a name such as ttyUSB0, a path
                  such as /dev/pts/3, or a serial device server:
)~";
// Here the server addresses, then:
const char* const GeneralAfterServers = R"~(  --serial SN     instead of --port: ask every listed port and use the one whose
                  simulator reports serial number SN (survives an adapter that
                  comes back under another name)
  --all           every listed port on which a simulator answers (a bench)
  --json          one JSON document on standard output (ports, info, status,
                  show, diff); field names are listed in each command's help
  -v, --verbose   echo the link's progress texts on standard error
  -h, --help      help; "knsimtool-cli COMMAND --help" for one command
  --version       the carried firmware version, and the settings file that
                  the window uses (beside the programs when that folder can be
                  written, else $XDG_CONFIG_HOME/KNSimTool/KNSimTool.ini)

Connecting: the commands that talk to one simulator ask it as the window does:
"!I" and "!B" (a silent simulator is asked twice, 100 ms apart), then "!S",
"!C" and remote mode on ("!K1"); update-firmware reads status and
configuration only after the update. At the end, also after SIGINT or SIGTERM,
remote mode is left ("!K0") and the port closed. When the simulator's firmware
identity differs from the carried one, only update-firmware flashes it; the
other commands go on with a note on standard error, and info reports it.

A bench: --all, or a comma-separated list after --port (ttyUSB0,ttyUSB1) or
--serial, runs the command on every simulator at once, each on its own thread
and line with exactly the bytes of a single run; one box's failure does not
stop the others. --all and --serial ask every port at the same time first, as
the window does, and leave ports without the wanted simulator alone after
that; a port named twice (or as a link and its target) is used once. The
report is a table, one row per box in natural port order: port, serial
number, result (ok, failed, differs, interrupted) and the failure's text;
info, status, show and diff then print each box's own output under
"== PORT (SERIAL)". With --json, any of these commands gives an array with one
object per box: "port", "serial", "result", "error" (null when none) and the
fields of the command's own document. The exit status is 0 when every box
succeeded, else the worst of the boxes' statuses. update-firmware shows one
line per box with its phase (redrawn in place on a terminal); --reset-button
asks once, naming the boxes. save needs {serial} or {port} in the file name:
save 'bench-{serial}.kns'. After SIGINT or SIGTERM no new work starts,
transfers under way are finished, every box leaves remote mode.

Exit status:
  0    success
  1    the simulator or the port failed; the link's own status text is on
       standard error and nothing is printed on standard output
       (diff: 1 also means "the simulator and the file differ", and then the
       differences are printed on standard output)
  2    wrong usage
  3    a file could not be read or written
  run: 0 every step passed, 1 a step failed or erred, 2 the plan is wrong
  130  interrupted by SIGINT, 143 by SIGTERM (watch ends with 0 instead)

Environment (test hook, not for normal use):
  KNSIM_CLI_PORTS   comma-separated port names that replace the machine's port
                    list for ports and --serial, so that tests never touch the
                    machine's own ports
  KNSIM_LOCK_DIR    the folder of port lock files instead of /run/lock
)~";

const std::map<std::string, std::string>& Commands() {
    static const std::map<std::string, std::string> help = {
        {"ports", R"~(Usage: knsimtool-cli ports [--probe] [--json]

Lists the serial ports present, one per line, in natural order (ttyUSB2 before
ttyUSB10). No --port is needed.

  --probe   ask each port "!I" and "!B" (one attempt each) and add the serial
            number and the installed firmware version, tab-separated, or "-"
            and "-" where no simulator answers

JSON: {"ports": [{"name": TEXT, "serial": TEXT|null, "version": TEXT|null}]}
("serial" and "version" only with --probe; null where none answers)
)~"},
        {"info", R"~(Usage: knsimtool-cli --port NAME info [--json]

Serial number, installed firmware version ("Bios version"), the version the
tool carries, and whether an update is due (the firmware identities differ).

JSON: {"port": TEXT, "serial": TEXT, "installed_version": "v1.2.0",
       "carried_version": "v1.2.0", "update_due": BOOL}
)~"},
        {"status", R"~(Usage: knsimtool-cli --port NAME status [--json]

Protocol, ECU count, MIL and the trouble-code counts of both ECUs.

JSON: {"port": TEXT, "protocol": 1..9, "protocol_name": "6 - CAN 11/500",
       "ecu_count": 1|2, "mil": BOOL, "code_count_ecu1": N,
       "code_count_ecu2": N, "code_total": N}
)~"},
        {"show", R"~(Usage: knsimtool-cli --port NAME show [--json]

Status and configuration: serial number, firmware version, protocol (number
and name), ECU count, MIL, counts, and both ECUs with their identifier as the
window's group titles show it ("Fehlercodes ECU1 ($7E8)") and their ten slots
as codes (P0301 ...); active slots (within the ECU's count) are marked "*".
Both ECUs are listed also when only one is simulated.

JSON: the fields of status, and "serial", "installed_version",
      "ecus": [{"ecu": 1|2, "identifier": "7E8", "title": TEXT,
                "code_count": N,
                "slots": [{"slot": 1..10, "code": "P0301", "active": BOOL}]}]
)~"},
        {"set-protocol", R"~(Usage: knsimtool-cli --port NAME set-protocol N [--ecus 1|2]

Sets bus protocol N (1 to 9: 1 - PWM, 2 - VPWM, 3 - ISO9141, 4 - KWP2000 5bd,
5 - KWP2000 fast, 6 - CAN 11/500, 7 - CAN 29/500, 8 - CAN 11/250,
9 - CAN 29/250) and, with --ecus, the number of simulated ECUs (otherwise the
simulator's count stays). As the window's selectors: nothing is sent when
both already are as wanted; otherwise "!P" is sent and status and
configuration are read back. Prints what show prints.
)~"},
        {"set-codes", R"~(Usage: knsimtool-cli --port NAME set-codes [--ecu1 LIST] [--ecu2 LIST]
                                           [--mil on|off]

LIST: trouble codes separated by commas, blanks or semicolons ("P0301,P0420";
quote a list with blanks). A code is a letter P, C, B or U, then four
hexadecimal digits, the first 0 to 3; letters in either case. At most ten per
ECU; an empty LIST ("") clears the ECU.

An ECU whose list is given gets that count and those codes in its first slots,
P0000 in the rest; an ECU not named keeps what the simulator holds. Without
--mil the MIL is on when any count is above 0 (the editor's rule). Sent as the
window's SEND sends it ("!X" for ECU 1, "!X" for ECU 2, "!F"), then read back;
prints what show prints. A bad code is refused (exit 2) before anything is sent.
)~"},
        {"apply", R"~(Usage: knsimtool-cli --port NAME apply FILE.kns

Does what the window's "Open configuration..." does: the file's set-up is laid
over the simulator's (a slot without a valid P value keeps its code), a changed
protocol or ECU count is sent ("!P", then status and configuration are read),
then counts, MIL and all twenty slots are sent as SEND sends them. The result
is read back and printed as show prints it. The file is read before the
simulator is asked anything: a file that is missing (in a script, most likely
a typing error) or cannot be read exits with 3 and changes nothing.
)~"},
        {"save", R"~(Usage: knsimtool-cli --port NAME save FILE.kns

Reads the simulator and saves its set-up as the window's "Save configuration..."
saves it, byte for byte the same format. Saving over an existing configuration
file keeps its other elements and comments in place. A name without an
extension gets ".kns", as in the window's dialog (apply and diff look for the
same name). "{serial}" in the name becomes the simulator's serial number and
"{port}" the last part of its port's name (a device server's address keeps
its scheme: rfc2217_HOST_PORT, tcp_HOST_PORT); a bench needs one of them:
  knsimtool-cli --all save 'bench-{serial}.kns'
Prints nothing; exit 3 when the file cannot be read or written.
)~"},
        {"diff", R"~(Usage: knsimtool-cli --port NAME diff FILE.kns [--json]

Lists where the simulator and the file differ, that is, what apply would
change: protocol and ECU count (when the file names a valid pair), MIL, both
counts and all twenty slots. One line per difference:
  FIELD: simulator VALUE, file VALUE
Fields: protocol, ecu_count, mil, ecu1.count, ecu2.count, ecu1.slot01 ...
ecu2.slot10. Exit status 0 when they are the same (nothing printed), 1 when
they differ: then, unlike other failures, the differences are printed on
standard output.

JSON: {"differ": BOOL, "differences": [{"field": TEXT, "simulator": TEXT,
       "file": TEXT}]}
)~"},
        {"update-firmware", R"~(Usage: knsimtool-cli --port NAME update-firmware
                                 [--if-needed | --always | --reset-button]

Replaces the simulator's firmware with the image the tool carries.
  --if-needed      (default) only when the firmware identities differ; the
                   simulator is asked to start its boot loader ("!@")
  --always         also when they are equal, the same automatic way
  --reset-button   the forced update: no question to the firmware; the tool
                   waits about five seconds for the boot loader and asks you to
                   press the simulator's reset button (on standard error)
Progress goes to standard error: a bar on a terminal, plain lines otherwise.
Afterwards the simulator is searched again (up to 30 attempts while it
restarts) and info is printed. Exit 1 when the update fails. SIGINT or SIGTERM
cancels the forced update while it waits for the boot loader, and the
automatic one before "!@" is sent (exit 130); once the firmware has handed
over to its boot loader, the automatic update runs to its end, as in the
window, and so does every transfer.
)~"},
        {"watch", R"~(Usage: knsimtool-cli --port NAME watch

Reads the status once a second and prints a line, with the time, whenever it
changes (and once at the start):
 HH:MM:SS Protocol 6 - CAN 11/500, ECU count 2, MIL on, codes 3 (ECU1 2, ECU2 1)
A failed read is printed on standard error and polling goes on, as in the
window. Ends on SIGINT or SIGTERM with exit status 0, after remote mode has
been left ("!K0") and the port closed.
)~"},
        {"run", PlanHelp()},
        {"help", R"~(Usage: knsimtool-cli help [COMMAND]

The whole help, or that of one command.
)~"},
    };
    return help;
}

}  // namespace

std::string GeneralHelp() {
    std::string help = General;
    for (const PortNameHelp& entry : ServerAddressHelp) {
        help += std::string("    ") + entry.Name + "\n";
        for (const char* line : entry.Lines) help += std::string(18, ' ') + line + "\n";
    }
    return help + GeneralAfterServers;
}

std::string CommandHelp(const std::string& command) {
    const auto it = Commands().find(command);
    return it == Commands().end() ? std::string() : it->second;
}

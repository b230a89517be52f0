#include "CliTestSupport.h"

Commands ConnectCommands() { return {"!I", "!B", "!S", "!C", "!K1"}; }

Commands Session(const Commands& middle, bool readBack) {
    Commands c = ConnectCommands();
    c.insert(c.end(), middle.begin(), middle.end());
    if (readBack) c.insert(c.end(), {"!S", "!C", "!K1"});
    c.push_back("!K0");
    return c;
}

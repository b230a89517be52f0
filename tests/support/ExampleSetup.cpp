#include "ExampleSetup.h"

CfgSetup ExampleSetup() {
    CfgSetup s;
    s.Protocol = 6;
    s.EcuCount = 2;
    s.MilOn = true;
    s.Count1 = 2;
    s.Count2 = 1;
    for (auto& slot : s.Ecu1) slot = {0, "0000"};
    for (auto& slot : s.Ecu2) slot = {0, "0000"};
    s.Ecu1[0].Text = "0301";
    s.Ecu1[1].Text = "0420";
    s.Ecu2[0] = {3, "0100"};
    return s;
}

std::vector<std::string> ExampleEmulatorArgs() {
    return {"--protocol", "6", "--ecus", "2", "--codes1", "P0301,P0420", "--codes2", "U0100", "--mil"};
}

std::string ExampleFile() { return KNS_EXAMPLE_FILE; }

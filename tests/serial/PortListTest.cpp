// The port list: from a replaced source and from a stand-in sysfs folder.
#include "serial/ComPort.h"
#include "serial/PortList.h"

#include "TestFiles.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <fstream>

#ifdef _WIN32
#include <windows.h>
#endif

namespace {

namespace fs = std::filesystem;

struct SourceReset {
    ~SourceReset() { TCustomComPort::SetPortListSource(nullptr); }
};

TEST(ListSerialPorts, ReplacesTheListSortedIgnoringCase) {
    SourceReset reset;
    TCustomComPort::SetPortListSource([] { return std::vector<std::string>{"ttyUSB1", "TTYACM0", "ttyS0"}; });
    std::vector<std::string> list = {"stale"};
    TCustomComPort::ListSerialPorts(list);
    EXPECT_EQ(list, (std::vector<std::string>{"TTYACM0", "ttyS0", "ttyUSB1"}));
    TCustomComPort::SetPortListSource([] { return std::vector<std::string>{}; });
    TCustomComPort::ListSerialPorts(list);
    EXPECT_TRUE(list.empty());
}

TEST(ListSerialPorts, FailureLeavesTheListUnchanged) {
    SourceReset reset;
#ifdef _WIN32
    // A test cannot make the registry read fail: the source raises what a
    // refused read of the SERIALCOMM key raises.
    TCustomComPort::SetPortListSource(
        []() -> std::vector<std::string> { throw EComPort(CError_RegError, ERROR_ACCESS_DENIED); });
    const int systemError = ERROR_ACCESS_DENIED;
#else
    TCustomComPort::SetPortListSource([]() -> std::vector<std::string> { return ListTtyDevices("/nonexistent/kns/tty"); });
    const int systemError = ENOENT;
#endif
    std::vector<std::string> list = {"ttyUSB0"};
    try {
        TCustomComPort::ListSerialPorts(list);
        FAIL();
    } catch (const EComPort& e) {
        EXPECT_EQ(e.ErrorCode(), 23);
        EXPECT_EQ(e.Message(), "Registry error (win error code: " + std::to_string(systemError) + ")");
    }
    EXPECT_EQ(list, std::vector<std::string>{"ttyUSB0"});
}

#ifndef _WIN32
// Linux lists the ports from sysfs; Windows reads the registry
// (tests/windows/WinComPortTest).

class FakeSysfs : public ::testing::Test {
protected:
    void Tty(const std::string& name, bool driver, const char* type = nullptr) {
        fs::create_directories(root / name);
        if (driver) fs::create_directories(root / name / "device" / "driver");
        if (type) std::ofstream(root / name / "type") << type;
    }
    TempFolder folder{"kns-sysfs"};
    fs::path root = folder.Path();
};

TEST_F(FakeSysfs, OnlyTtysWithARealDeviceDriver) {
    Tty("console", false);
    Tty("tty0", false);
    Tty("ptmx", false);
    Tty("ttyS0", true, "4\n");   // a 16550A
    Tty("ttyS1", true, "0\n");   // placeholder without a UART
    Tty("ttyS12", true, "4\n");
    Tty("ttyUSB0", true);        // USB serial: no type attribute
    Tty("ttyACM0", true);
    auto names = ListTtyDevices(root.string());
    SortPortNamesIgnoringCase(names);
    EXPECT_EQ(names, (std::vector<std::string>{"ttyACM0", "ttyS0", "ttyS12", "ttyUSB0"}));
}
#endif

}  // namespace

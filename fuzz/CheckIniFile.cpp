#include "FuzzCheck.h"

#include "base/Failure.h"
#include "storage/IniFile.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <filesystem>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#ifdef _WIN32
#include <io.h>
#include <process.h>
#else
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// On Windows only the corpus replay runs these checks: one process, which
// removes its own folder at exit, and no fuzzer whose killed jobs leave
// folders behind. The user's temporary folder takes the files.
std::string FolderRoot() { return std::filesystem::temp_directory_path().string(); }
bool ProcessGone(int) { return false; }
int ThisProcess() { return _getpid(); }
bool Writable(const std::string& path) { return _access(path.c_str(), 2) == 0; }
#else
// A memory file system where there is one: every written value is synced to disk.
std::string FolderRoot() {
    const char* base = std::getenv("TMPDIR");
    return access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (base ? base : "/tmp");
}
bool ProcessGone(int pid) { return kill(pid, 0) != 0 && errno == ESRCH; }
int ThisProcess() { return getpid(); }
bool Writable(const std::string& path) { return access(path.c_str(), W_OK) == 0; }
#endif

// One folder per process for the files of this check. The fuzzer's fork
// mode kills its jobs, so folders of processes that are gone are cleared
// away by the next one.
const std::string& Folder() {
    // Never destroyed: the clean-up at exit still needs the name.
    static const std::string& folder = *new std::string([] {
        const std::string root = FolderRoot();
        const std::string prefix = "kns-fuzz-ini-";
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(root, ignored)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind(prefix, 0) != 0) continue;
            const int pid = std::atoi(name.c_str() + prefix.size());
            if (pid > 0 && ProcessGone(pid)) std::filesystem::remove_all(entry.path(), ignored);
        }
        const std::string mine = root + "/" + prefix + std::to_string(ThisProcess());
        std::filesystem::create_directories(mine, ignored);
        if (!Writable(mine)) {
            std::perror(mine.c_str());
            std::abort();
        }
        std::atexit([] {
            std::error_code none;
            std::filesystem::remove_all(Folder(), none);
        });
        return mine;
    }());
    return folder;
}

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(data.data(), static_cast<std::streamsize>(data.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Integer reads may refuse a value with the conversion's message; nothing else.
void ReadIntegerOrRefuse(IniFile& ini, const char* path) {
    try {
        (void)ini.ReadInteger(path, -7);
    } catch (const EConvertError& e) {
        // The message quotes the value (a value with a zero byte ends the
        // C text early, so only its start is certain).
        FUZZ_REQUIRE(e.what()[0] == '\'');
    }
}

}  // namespace

namespace FuzzCheck {

void IniFile(const std::uint8_t* data, std::size_t size) {
    const std::string path = Folder() + "/KNSimTool.ini";
    const std::string copy = Folder() + "/Copy.ini";
    WriteFile(path, std::string(reinterpret_cast<const char*>(data), size));

    ::IniFile ini(path);
    ini.SetDefaultSection("CONFIG");
    const std::string text = ini.Serialize();

    // What the program writes reads back as the same file.
    WriteFile(copy, text);
    {
        ::IniFile reread(copy);
        FUZZ_REQUIRE(reread.Serialize() == text);
    }

    for (const char* key : {"Main\\FormVersion", "Main\\ShowCmd", "Main\\Flags", "Main\\PixelsPerInch"})
        ReadIntegerOrRefuse(ini, key);
    const std::string normPos = ini.ReadString("Main\\NormPos", "<none>");
    const bool hadPort = ini.ValueExists("ComPort");

    // Writing one value changes that value and no other.
    ini.WriteString("ComPort", "ttyUSB7");
    FUZZ_REQUIRE(ini.ReadString("ComPort", "<none>") == "ttyUSB7");
    FUZZ_REQUIRE(ini.ReadString("\\CONFIG\\\\ComPort", "<none>") == "ttyUSB7");
    FUZZ_REQUIRE(ini.ReadString("Main\\NormPos", "<none>") == normPos);
    FUZZ_REQUIRE(ReadFile(path) == ini.Serialize());
    // A new key adds one line; a key that was there is replaced in place.
    const std::size_t linesBefore = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
    const std::string after = ini.Serialize();
    const std::size_t linesAfter = static_cast<std::size_t>(std::count(after.begin(), after.end(), '\n'));
    if (hadPort)
        FUZZ_REQUIRE(linesAfter == linesBefore);
    else
        FUZZ_REQUIRE(linesAfter == linesBefore + 1 || linesAfter == linesBefore + 3);  // + "[CONFIG]" and its blank line

    ini.WriteInteger("Main\\ShowCmd", -3);
    FUZZ_REQUIRE(ini.ReadInteger("Main\\ShowCmd", 0) == -3);
    FUZZ_REQUIRE(ini.ReadString("ComPort", "<none>") == "ttyUSB7");
}

}  // namespace FuzzCheck

// Every stored fuzz input run through its check with this compiler and, in
// the sanitizer build, with AddressSanitizer and UBSan: the corpora are
// regression tests of their own, also where no clang is at hand.

#include "FuzzCheck.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <algorithm>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> files;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir))
            if (e->d_name[0] != '.') files.push_back(folder + "/" + e->d_name);
        closedir(dir);
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

struct BrokenProperty : std::runtime_error {
    using std::runtime_error::runtime_error;
};

class CorpusReplay : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override {
        previous_ = FuzzCheck::SetFailureHandler([](const std::string& message) { throw BrokenProperty(message); });
    }
    void TearDown() override { FuzzCheck::SetFailureHandler(previous_); }

private:
    FuzzCheck::FailureHandler previous_;
};

}  // namespace

TEST_P(CorpusReplay, EveryStoredInputKeepsItsProperties) {
    const std::string name = GetParam();
    const FuzzCheck::Check check = FuzzCheck::ByName(name);
    ASSERT_NE(check, nullptr);
    const auto files = FilesIn(std::string(KNS_FUZZ_CORPUS) + "/" + name);
    ASSERT_FALSE(files.empty()) << "no stored inputs for " << name;
    for (const std::string& file : files) {
        const std::string data = Read(file);
        try {
            check(reinterpret_cast<const std::uint8_t*>(data.data()), data.size());
        } catch (const BrokenProperty& broken) {
            ADD_FAILURE() << file << ": " << broken.what();
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Fuzz, CorpusReplay,
                         ::testing::Values("config_document", "ini_file", "status_line", "hex_reply",
                                           "natural_compare", "code_list", "name_list", "test_plan",
                                           "rfc2217_stream", "network_port_name"),
                         [](const auto& info) { return std::string(info.param); });

#ifndef _WIN32
// Boot frames are fed through a pseudo-terminal and the adapter is the
// emulator's: on Windows neither check is built, so those corpora replay on Linux.
INSTANTIATE_TEST_SUITE_P(FuzzLinux, CorpusReplay, ::testing::Values("boot_frame", "elm_adapter"),
                         [](const auto& info) { return std::string(info.param); });
#endif

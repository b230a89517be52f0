#include "FuzzCheck.h"

#include "base/Failure.h"
#include "storage/CfgMapping.h"
#include "storage/ConfigDocument.h"

#include <string>
#include <string_view>

namespace {

// The version word the window writes for the image it carries.
constexpr std::uint32_t AnyVersionWord = 0x120;

// Parses text that the program itself wrote; it must always read back.
void ReparseOwn(ConfigDocument& doc, const std::string& text) {
    try {
        doc.Parse(text);
    } catch (const EFailure& e) {
        FuzzCheck::Fail(__FILE__, __LINE__, std::string("a saved document does not read back: ") + e.what());
    }
}

// A slot without a category is saved as P -1, and a file with P -1 leaves
// the slot as it was: reopened into a fresh set-up it is the empty slot.
CfgSetup AsReopened(CfgSetup setup) {
    for (auto* slots : {&setup.Ecu1, &setup.Ecu2})
        for (DtcSlot& slot : *slots)
            if (slot.Category < 0) slot = DtcSlot{};
    return setup;
}

}  // namespace

namespace FuzzCheck {

void ConfigDocument(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    ::ConfigDocument doc;
    bool failed = false;
    try {
        doc.Parse(input);
    } catch (const EFailure&) {
        // A failed open leaves what was read before the error in the
        // document, and a later save to the same path writes it out: that
        // partial document must still make a readable file.
        failed = true;
    }

    const std::string saved = doc.Serialize();
    ::ConfigDocument again;
    ReparseOwn(again, saved);
    // Saving is a fixed point: what was saved once saves the same again.
    FUZZ_REQUIRE(again.Serialize() == saved);
    if (failed) return;

    // The set-up a user would see is the same before and after a save.
    CfgSetup before, after;
    ApplyDocument(doc, before);
    ApplyDocument(again, after);
    FUZZ_REQUIRE(before == after);

    // "Save configuration..." over this file: the program's keys are written
    // into the document it holds, and the file then opens as that set-up.
    WriteSetup(doc, before, AnyVersionWord);
    ::ConfigDocument written;
    ReparseOwn(written, doc.Serialize());
    CfgSetup reread;
    ApplyDocument(written, reread);
    FUZZ_REQUIRE(reread == AsReopened(before));
    const std::string* version = written.ReadValue("Version");
    FUZZ_REQUIRE(version != nullptr && *version == CfgVersionText(AnyVersionWord));
}

}  // namespace FuzzCheck

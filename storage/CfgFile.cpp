#include "CfgFile.h"

#include "SafeFile.h"

#include "base/Failure.h"

#include <cstring>

namespace {
// Windows takes either slash between folders; elsewhere a backslash is part of a name.
#ifdef _WIN32
constexpr const char* FolderSeparators = "/\\";
#else
constexpr const char* FolderSeparators = "/";
#endif
}  // namespace

std::string CfgFile::DocumentPath(const std::string& chosen) {
    const std::size_t slash = chosen.find_last_of(FolderSeparators);
    const std::string_view name =
        slash == std::string::npos ? std::string_view(chosen) : std::string_view(chosen).substr(slash + 1);
    if (name.find('.') != std::string_view::npos) return chosen;
    return chosen + ".xml";
}

std::string CfgFile::CannotOpenMessage(const std::string& path) {
    return "Datei " + path + " kann nicht ge\xF6" "ffnet werden";
}

std::string CfgFile::ReadOnlyMessage(const std::string& path) {
    return "Datei " + path + " ist schreibgesch\xFC" "tzt";
}

std::string CfgFile::CannotWriteMessage(const std::string& path, int error) {
    return "Datei " + path + " kann nicht geschrieben werden (" + std::strerror(error) + ")";
}

namespace {

std::string ShownDocumentPath(const std::string& chosen, const std::string& shownChosen) {
    return CfgFile::DocumentPath(shownChosen.empty() ? chosen : shownChosen);
}

}  // namespace

void CfgFile::Load(ConfigDocument& doc, const std::string& path, const std::string& shownPath) {
    std::string data;
    switch (SafeFile::ReadWhole(path, data, ConfigDocument::MaxFileSize)) {
    case SafeFile::ReadResult::Missing:
        doc.Clear();
        return;
    case SafeFile::ReadResult::Unreadable:
        doc.Clear();
        throw EFailure(CannotOpenMessage(shownPath.empty() ? path : shownPath));
    case SafeFile::ReadResult::Ok:
        break;
    }
    doc.Parse(data);
}

CfgValues CfgFile::Open(const std::string& chosen, const std::string& shownChosen) {
    bound_ = DocumentPath(chosen);
    Load(doc_, bound_, ShownDocumentPath(chosen, shownChosen));
    return ReadValues(doc_);
}

void CfgFile::Save(const std::string& chosen, const CfgSetup& setup, std::uint32_t versionWord,
                   const std::string& shownChosen) {
    const std::string path = DocumentPath(chosen);
    const std::string shown = ShownDocumentPath(chosen, shownChosen);
    if (path != bound_) {
        bound_ = path;
        Load(doc_, bound_, shown);
    }
    WriteSetup(doc_, setup, versionWord);
    // Renaming a new file over the old one would get past the read-only
    // mark, so it is honoured here; and said, since the user expects a file.
    if (SafeFile::IsReadOnly(path)) throw EFailure(ReadOnlyMessage(shown));
    if (const int error = SafeFile::WriteReplacing(path, doc_.Serialize()))
        throw EFailure(CannotWriteMessage(shown, error));
}

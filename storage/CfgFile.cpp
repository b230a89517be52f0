#include "CfgFile.h"

#include "SafeFile.h"

#include "../serial/Failure.h"

#include <cstring>

std::string CfgFile::DocumentPath(const std::string& chosen) {
    const std::size_t slash = chosen.rfind('/');
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

void CfgFile::Load(ConfigDocument& doc, const std::string& path) {
    std::string data;
    switch (SafeFile::ReadWhole(path, data, ConfigDocument::MaxFileSize)) {
    case SafeFile::ReadResult::Missing:
        doc.Clear();
        return;
    case SafeFile::ReadResult::Unreadable:
        doc.Clear();
        throw EFailure(CannotOpenMessage(path));
    case SafeFile::ReadResult::Ok:
        break;
    }
    doc.Parse(data);
}

CfgValues CfgFile::Open(const std::string& chosen) {
    bound_ = DocumentPath(chosen);
    Load(doc_, bound_);
    return ReadValues(doc_);
}

void CfgFile::Save(const std::string& chosen, const CfgSetup& setup, std::uint32_t versionWord) {
    const std::string path = DocumentPath(chosen);
    if (path != bound_) {
        bound_ = path;
        Load(doc_, bound_);
    }
    WriteSetup(doc_, setup, versionWord);
    // Renaming a new file over the old one would get past the read-only
    // mark, so it is honoured here; and said, since the user expects a file.
    if (SafeFile::IsReadOnly(path)) throw EFailure(ReadOnlyMessage(path));
    if (const int error = SafeFile::WriteReplacing(path, doc_.Serialize()))
        throw EFailure(CannotWriteMessage(path, error));
}

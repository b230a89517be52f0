#pragma once
// A configuration file bound to a document: what "Save configuration..." and
// "Open configuration..." do with files, for the window and the command line.
// The document stays in memory between commands, so a save to the path last
// used writes into the content last read or written.

#include "CfgMapping.h"
#include "ConfigDocument.h"

#include <cstdint>
#include <string>

class CfgFile {
public:
    ConfigDocument& Document() { return doc_; }
    const ConfigDocument& Document() const { return doc_; }
    // The file the document is bound to; empty before the first command.
    const std::string& BoundPath() const { return bound_; }

    // The file a chosen path stands for: a path whose name has no extension
    // is given ".xml".
    static std::string DocumentPath(const std::string& chosen);

    // Binds the document to the path's file and reads it, also when it is
    // the bound one. A missing file gives an empty root. Raises EFailure with
    // the reader's message, or "Datei %s kann nicht geöffnet werden" for a
    // file that exists but cannot be read; the document then holds what was
    // read before the error. Returns the values the file holds.
    // shownChosen: the chosen path as messages show it (Latin-1), when that
    // differs from the file system's encoding of it; empty: chosen itself.
    CfgValues Open(const std::string& chosen, const std::string& shownChosen = {});

    // Binds the document to the path's file (reading it first when it is not
    // the bound one: an existing file is loaded, a missing one starts an
    // empty root), writes the set-up's values into it and writes it to the
    // file through a temporary file. Raises EFailure, with the file named,
    // when the existing file cannot be read, is read-only or cannot be
    // written; the file on disk is unchanged then.
    void Save(const std::string& chosen, const CfgSetup& setup, std::uint32_t versionWord,
              const std::string& shownChosen = {});

    // Reads a file into a document (missing: empty root); raises as Open,
    // naming the file as shownPath (empty: path).
    static void Load(ConfigDocument& doc, const std::string& path, const std::string& shownPath = {});

    // Message texts (Latin-1), shown by the front ends.
    static std::string CannotOpenMessage(const std::string& path);
    static std::string ReadOnlyMessage(const std::string& path);
    static std::string CannotWriteMessage(const std::string& path, int error);

private:
    ConfigDocument doc_;
    std::string bound_;
};

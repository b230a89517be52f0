#pragma once
// File names between the window and the layers below it. Below the window
// a name is UTF-8 bytes on every system (on Windows the file functions get
// it in UTF-16), so a name the ANSI code page cannot hold still reaches the
// file; QFile::encodeName would give Windows' ANSI text instead.

#include <QString>

#include <string>

inline std::string FileNameBytes(const QString& name) { return name.toUtf8().toStdString(); }

inline QString FileNameText(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

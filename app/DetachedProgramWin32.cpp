#include "DetachedProgram.h"

#include <windows.h>

#include <string>

namespace {

// One argument as the C runtime's command-line parser reads it back:
// quoted, with backslashes doubled only before a quote.
std::wstring Quoted(const std::wstring& arg) {
    std::wstring out = L"\"";
    std::size_t backslashes = 0;
    for (const wchar_t c : arg) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        out.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, L'\\');
    return out + L"\"";
}

}  // namespace

std::unique_ptr<DetachedProgram> DetachedProgram::Start(const QString& program, const QStringList& args,
                                                        QString& error) {
    // Qt's own conversion to UTF-16: the wide calls take any path and port.
    const std::wstring file = program.toStdWString();
    std::wstring line = Quoted(file);
    for (const QString& a : args) line += L" " + Quoted(a.toStdWString());
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    // No handle of ours is inherited (bInheritHandles FALSE): no port, socket
    // or file of the bench stays open in it. A process group of its own, so
    // that a console's Ctrl+C or the end of ours does not reach it; out of
    // our job where the job allows it, so that ending us does not end it.
    const DWORD flags = CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT;
    BOOL started = CreateProcessW(file.c_str(), line.data(), nullptr, nullptr, FALSE, flags | CREATE_BREAKAWAY_FROM_JOB,
                                  nullptr, nullptr, &startup, &info);
    if (!started && GetLastError() == ERROR_ACCESS_DENIED)
        started = CreateProcessW(file.c_str(), line.data(), nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                                 &info);
    if (!started) {
        const DWORD code = GetLastError();
        wchar_t* text = nullptr;
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
        error = text ? QString::fromWCharArray(text).trimmed() : QStringLiteral("error %1").arg(code);
        if (text) LocalFree(text);
        return nullptr;
    }
    CloseHandle(info.hThread);
    return std::unique_ptr<DetachedProgram>(new DetachedProgram(info.dwProcessId, info.hProcess));
}

// Closing our handle neither ends nor waits for the process.
DetachedProgram::~DetachedProgram() { CloseHandle(static_cast<HANDLE>(handle_)); }

bool DetachedProgram::Ended() {
    if (!ended_) ended_ = WaitForSingleObject(static_cast<HANDLE>(handle_), 0) == WAIT_OBJECT_0;
    return ended_;
}

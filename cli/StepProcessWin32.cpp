// A step's command on Windows: cmd /c inside a job object, so that a
// time-out or Ctrl+C ends the command interpreter and everything it started
// (Windows has no process groups that a signal reaches as a whole). The
// command line, its variables and its folder are UTF-8 and handed over as
// UTF-16, whatever the ANSI code page; the command inherits its three
// standard handles and nothing else (no box's port or socket).
#include "StepProcess.h"

#include "Interrupt.h"

#include "base/WideText.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string LastError(const char* what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

// An output file deleted when its last handle closes. The command writes
// through a duplicate of the handle, which shares the file position; the
// output is read through this handle once the command has ended.
class CaptureFile {
public:
    CaptureFile() {
        wchar_t folder[MAX_PATH + 1];
        wchar_t name[MAX_PATH + 1];
        if (GetTempPathW(MAX_PATH + 1, folder) == 0 || GetTempFileNameW(folder, L"kns", 0, name) == 0) return;
        handle_ = CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    }
    ~CaptureFile() {
        if (Ok()) CloseHandle(handle_);
    }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;
    bool Ok() const { return handle_ != INVALID_HANDLE_VALUE; }
    HANDLE Handle() const { return handle_; }

    std::string Kept() const {
        LARGE_INTEGER size{};
        if (!Ok() || !GetFileSizeEx(handle_, &size)) return {};
        return CutOutput(static_cast<std::size_t>(size.QuadPart), [this](std::size_t offset, std::size_t length) {
            std::string piece(length, '\0');
            OVERLAPPED at{};
            at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
            at.OffsetHigh = static_cast<DWORD>(static_cast<unsigned long long>(offset) >> 32);
            DWORD got = 0;
            if (!ReadFile(handle_, piece.data(), static_cast<DWORD>(length), &got, &at)) got = 0;
            piece.resize(got);
            return piece;
        });
    }

private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

std::wstring Wide(const std::string& utf8) { return WideFromUtf8(utf8); }

std::wstring Upper(std::wstring text) {
    if (!text.empty()) CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
    return text;
}

// The environment block: the inherited variables that vars does not set
// (names compared without case, as Windows does), then vars, sorted by name
// without case as Windows expects the block to be.
std::wstring EnvironmentBlock(const std::map<std::string, std::string>& vars) {
    std::map<std::wstring, std::wstring> set;
    for (const auto& [name, value] : vars) set[Upper(Wide(name))] = Wide(name) + L"=" + Wide(value);
    std::vector<std::pair<std::wstring, std::wstring>> entries;  // (sort key, entry)
    if (wchar_t* block = GetEnvironmentStringsW()) {
        for (const wchar_t* e = block; *e; e += std::wcslen(e) + 1) {
            const std::wstring entry(e);
            // "=C:=C:\folder" entries keep each drive's current folder: their name starts after the first '='.
            const auto eq = entry.find(L'=', 1);
            const std::wstring name = Upper(entry.substr(0, eq));
            if (!set.count(name)) entries.emplace_back(name, entry);
        }
        FreeEnvironmentStringsW(block);
    }
    for (const auto& [key, entry] : set) entries.emplace_back(key, entry);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::wstring text;
    for (const auto& [key, entry] : entries) text += entry + L'\0';
    text += L'\0';
    return text;
}

// cmd /s /c "LINE": with /s, cmd takes off the outer quotes and runs the
// line exactly as written; /d leaves out the AutoRun commands of the registry.
std::wstring CommandInterpreterLine(const std::string& line) {
    const wchar_t* comspec = _wgetenv(L"COMSPEC");
    return L"\"" + std::wstring(comspec && *comspec ? comspec : L"cmd.exe") + L"\" /d /s /c \"" + Wide(line) + L"\"";
}

// The attribute list that limits what the command inherits to handles.
class InheritOnly {
public:
    explicit InheritOnly(std::vector<HANDLE> handles) : handles_(std::move(handles)) {
        SIZE_T size = 0;
        InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
        storage_.resize(size);
        list_ = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage_.data());
        ok_ = InitializeProcThreadAttributeList(list_, 1, 0, &size) &&
              UpdateProcThreadAttribute(list_, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, handles_.data(),
                                        handles_.size() * sizeof(HANDLE), nullptr, nullptr);
    }
    ~InheritOnly() {
        if (list_) DeleteProcThreadAttributeList(list_);
    }
    InheritOnly(const InheritOnly&) = delete;
    InheritOnly& operator=(const InheritOnly&) = delete;
    bool Ok() const { return ok_; }
    LPPROC_THREAD_ATTRIBUTE_LIST List() const { return list_; }

private:
    std::vector<HANDLE> handles_;
    std::vector<char> storage_;
    LPPROC_THREAD_ATTRIBUTE_LIST list_ = nullptr;
    bool ok_ = false;
};

}  // namespace

CommandRun RunStepCommand(const std::string& commandLine, const std::map<std::string, std::string>& vars,
                          const std::string& folder, double timeoutSeconds) {
    CommandRun run;
    CaptureFile out, err;
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!out.Ok() || !err.Ok() || input == INVALID_HANDLE_VALUE) {
        run.StartFailure = LastError("cannot make a file for its output");
        if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
        return run;
    }
    // A job that ends everything in it when its last handle closes, so that
    // even a run that dies leaves no command behind.
    HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        run.StartFailure = LastError("cannot make a job object");
        if (job) CloseHandle(job);
        CloseHandle(input);
        return run;
    }

    std::wstring block = EnvironmentBlock(vars);
    std::wstring line = CommandInterpreterLine(commandLine);
    const std::wstring wideFolder = Wide(folder);
    // Only these three are inheritable, and the list names them: a command
    // that another box's thread starts meanwhile inherits none of them, and
    // this one nothing else.
    for (HANDLE h : {input, out.Handle(), err.Handle()}) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    const InheritOnly inherit({input, out.Handle(), err.Handle()});
    STARTUPINFOEXW startup{};
    startup.StartupInfo.cb = sizeof startup;
    startup.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    startup.StartupInfo.hStdInput = input;
    startup.StartupInfo.hStdOutput = out.Handle();
    startup.StartupInfo.hStdError = err.Handle();
    startup.lpAttributeList = inherit.List();
    PROCESS_INFORMATION process{};
    // Suspended until it is in the job, so that nothing it starts escapes;
    // a process group of its own, so that the console's Ctrl+C reaches only us.
    const BOOL created =
        inherit.Ok() &&
        CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                       CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP | CREATE_UNICODE_ENVIRONMENT | EXTENDED_STARTUPINFO_PRESENT,
                       block.data(), wideFolder.empty() ? nullptr : wideFolder.c_str(), &startup.StartupInfo, &process);
    for (HANDLE h : {input, out.Handle(), err.Handle()}) SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
    CloseHandle(input);
    if (!created) {
        run.StartFailure = LastError("cannot start the command interpreter");
        CloseHandle(job);
        return run;
    }
    if (!AssignProcessToJobObject(job, process.hProcess)) {
        run.StartFailure = LastError("cannot put the command into a job object");
        TerminateProcess(process.hProcess, 1);
    } else {
        run.Started = true;
        ResumeThread(process.hThread);
    }
    CloseHandle(process.hThread);

    const auto started = Clock::now();
    const auto deadline = started + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(timeoutSeconds));
    while (run.Started) {
        const auto now = Clock::now();
        if (now >= deadline || Interrupted()) {
            (now >= deadline ? run.TimedOut : run.Interrupted) = true;
            // Console programs have no window to be asked to close; a job
            // ends its processes at once.
            TerminateJobObject(job, 1);
            WaitForSingleObject(process.hProcess, EndGraceMs);
            break;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now).count();
        const DWORD pause = static_cast<DWORD>(std::clamp<long long>(left, 1, now - started < std::chrono::milliseconds(50) ? 1 : 10));
        if (WaitForSingleObject(process.hProcess, pause) == WAIT_OBJECT_0) break;
    }
    // Whatever the command left running in its job goes with it.
    TerminateJobObject(job, 1);
    DWORD code = 0;
    if (run.Started && GetExitCodeProcess(process.hProcess, &code)) run.ExitStatus = static_cast<int>(code);
    CloseHandle(process.hProcess);
    CloseHandle(job);
    run.Out = out.Kept();
    run.Err = err.Kept();
    return run;
}

// A step's command on Windows: cmd /c inside a job object, so that a
// time-out or Ctrl+C ends the command interpreter and everything it started
// (Windows has no process groups that a signal reaches as a whole).
#include "StepProcess.h"

#include "Interrupt.h"

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Handles are inherited by whatever process is created while they are
// inheritable. On a bench, boxes start their commands on several threads;
// each makes its handles inheritable only for its own CreateProcess, under
// this lock, so that no command holds another's files.
std::mutex g_creating;

std::string LastError(const char* what) { return std::string(what) + " (error " + std::to_string(GetLastError()) + ")"; }

// An output file deleted when its last handle closes. The command writes
// through a duplicate of the handle, which shares the file position; the
// output is read through this handle once the command has ended.
class CaptureFile {
public:
    CaptureFile() {
        char folder[MAX_PATH + 1];
        char name[MAX_PATH + 1];
        if (GetTempPathA(sizeof folder, folder) == 0 || GetTempFileNameA(folder, "kns", 0, name) == 0) return;
        handle_ = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
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

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return text;
}

// The environment block: the inherited variables that vars does not set
// (names compared without case, as Windows does), then vars, sorted by name
// without case as Windows expects the block to be.
std::string EnvironmentBlock(const std::map<std::string, std::string>& vars) {
    std::map<std::string, std::string> set;
    for (const auto& [name, value] : vars) set[Upper(name)] = name + "=" + value;
    std::vector<std::pair<std::string, std::string>> entries;  // (sort key, entry)
    if (char* block = GetEnvironmentStringsA()) {
        for (const char* e = block; *e; e += std::strlen(e) + 1) {
            const std::string entry(e);
            // "=C:=C:\folder" entries keep each drive's current folder: their name starts after the first '='.
            const auto eq = entry.find('=', 1);
            const std::string name = Upper(entry.substr(0, eq));
            if (!set.count(name)) entries.emplace_back(name, entry);
        }
        FreeEnvironmentStringsA(block);
    }
    for (const auto& [key, entry] : set) entries.emplace_back(key, entry);
    std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::string text;
    for (const auto& [key, entry] : entries) text += entry + '\0';
    text += '\0';
    return text;
}

// cmd /s /c "LINE": with /s, cmd takes off the outer quotes and runs the
// line exactly as written; /d leaves out the AutoRun commands of the registry.
std::string CommandInterpreterLine(const std::string& line) {
    const char* comspec = std::getenv("COMSPEC");
    return "\"" + std::string(comspec && *comspec ? comspec : "cmd.exe") + "\" /d /s /c \"" + line + "\"";
}

}  // namespace

CommandRun RunStepCommand(const std::string& commandLine, const std::map<std::string, std::string>& vars,
                          double timeoutSeconds) {
    CommandRun run;
    CaptureFile out, err;
    HANDLE input = CreateFileA("NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (!out.Ok() || !err.Ok() || input == INVALID_HANDLE_VALUE) {
        run.StartFailure = LastError("cannot make a file for its output");
        if (input != INVALID_HANDLE_VALUE) CloseHandle(input);
        return run;
    }
    // A job that ends everything in it when its last handle closes, so that
    // even a run that dies leaves no command behind.
    HANDLE job = CreateJobObjectA(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (!job || !SetInformationJobObject(job, JobObjectExtendedLimitInformation, &limits, sizeof limits)) {
        run.StartFailure = LastError("cannot make a job object");
        if (job) CloseHandle(job);
        CloseHandle(input);
        return run;
    }

    std::string block = EnvironmentBlock(vars);
    std::string line = CommandInterpreterLine(commandLine);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = out.Handle();
    startup.hStdError = err.Handle();
    PROCESS_INFORMATION process{};
    BOOL created = FALSE;
    {
        std::lock_guard lock(g_creating);
        for (HANDLE h : {input, out.Handle(), err.Handle()}) SetHandleInformation(h, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
        // Suspended until it is in the job, so that nothing it starts escapes;
        // a process group of its own, so that the console's Ctrl+C reaches only us.
        created = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE,
                                 CREATE_SUSPENDED | CREATE_NEW_PROCESS_GROUP, block.data(), nullptr, &startup, &process);
        for (HANDLE h : {input, out.Handle(), err.Handle()}) SetHandleInformation(h, HANDLE_FLAG_INHERIT, 0);
    }
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

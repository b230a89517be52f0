#include "RunProgramWin32.h"

#include "TestFiles.h"

#include "base/WideText.h"

#include <windows.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace {

// Quoting as the C runtime parses a command line: backslashes double only
// before a quote.
std::string Quote(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    std::size_t backslashes = 0;
    for (const char c : arg) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        out.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        out += c;
    }
    out.append(backslashes * 2, '\\');
    return out + "\"";
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    HANDLE h = CreateFileW(WideFromUtf8(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("cannot open " + path);
    return h;
}

// Program, arguments and paths are UTF-8, handed over in UTF-16 as the
// programs read their command line.
PROCESS_INFORMATION Start(const std::string& program, const std::vector<std::string>& args,
                          const std::string& outPath, const std::string& errPath, DWORD flags = 0,
                          Inheritance inheritance = Inheritance::StandardOnly) {
    HANDLE in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
    HANDLE out = InheritableFile(outPath, GENERIC_WRITE, CREATE_ALWAYS);
    HANDLE err = InheritableFile(errPath, GENERIC_WRITE, CREATE_ALWAYS);

    std::string text = Quote(program);
    for (const std::string& a : args) text += " " + Quote(a);
    std::wstring line = WideFromUtf8(text);
    // The program inherits its three files and nothing else: not this test's
    // own output, which ctest reads until every holder has closed it. Asked
    // to, it inherits every inheritable handle, as a careless starter would
    // hand them on.
    HANDLE inherited[] = {in, out, err};
    const bool limited = inheritance == Inheritance::StandardOnly;
    SIZE_T size = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &size);
    std::vector<char> storage(size);
    auto* attributes = reinterpret_cast<LPPROC_THREAD_ATTRIBUTE_LIST>(storage.data());
    const bool listed = InitializeProcThreadAttributeList(attributes, 1, 0, &size) &&
                        UpdateProcThreadAttribute(attributes, 0, PROC_THREAD_ATTRIBUTE_HANDLE_LIST, inherited,
                                                  sizeof inherited, nullptr, nullptr);
    STARTUPINFOEXW start{};
    start.StartupInfo.cb = sizeof start;
    start.StartupInfo.dwFlags = STARTF_USESTDHANDLES;
    start.StartupInfo.hStdInput = in;
    start.StartupInfo.hStdOutput = out;
    start.StartupInfo.hStdError = err;
    start.lpAttributeList = limited ? attributes : nullptr;
    PROCESS_INFORMATION process{};
    // Wine on a loaded machine now and then refuses a start that succeeds a
    // moment later; a program that is really missing fails all three.
    BOOL started = FALSE;
    DWORD error = listed ? 0 : GetLastError();
    for (int attempt = 0; listed && attempt < 3 && !started; ++attempt) {
        if (attempt > 0) Sleep(250);
        started = CreateProcessW(WideFromUtf8(program).c_str(), line.data(), nullptr, nullptr, TRUE,
                                 flags | (limited ? EXTENDED_STARTUPINFO_PRESENT : 0), nullptr, nullptr,
                                 &start.StartupInfo, &process);
        if (!started) error = GetLastError();
    }
    if (listed) DeleteProcThreadAttributeList(attributes);
    CloseHandle(in);
    CloseHandle(out);
    CloseHandle(err);
    if (!started) throw std::runtime_error("cannot start " + program + " (win error code: " + std::to_string(error) + ")");
    CloseHandle(process.hThread);
    return process;
}

// The exit code once the process has ended within limitMs; -1 otherwise.
int WaitForEnd(HANDLE process, unsigned limitMs) {
    if (WaitForSingleObject(process, limitMs) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    return static_cast<int>(code);
}

void EndAndClose(HANDLE process) {
    if (WaitForSingleObject(process, 0) != WAIT_OBJECT_0) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
    }
    CloseHandle(process);
}

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& args, unsigned limitMs) {
    TempFolder folder("kns-run");
    const std::string outPath = folder / "out", errPath = folder / "err";
    const PROCESS_INFORMATION process = Start(program, args, outPath, errPath);
    ProgramRun run;
    run.ExitCode = WaitForEnd(process.hProcess, limitMs);
    EndAndClose(process.hProcess);
    run.Out = ReadFile(outPath);
    run.Err = ReadFile(errPath);
    return run;
}

struct RunningProgram::Files {
    TempFolder Folder{"kns-running"};
    std::string OutPath = Folder / "out", ErrPath = Folder / "err";
};

RunningProgram::RunningProgram(const std::string& program, const std::vector<std::string>& args, bool ownConsole,
                               Inheritance inheritance)
    : files_(new Files) {
    const PROCESS_INFORMATION process =
        Start(program, args, files_->OutPath, files_->ErrPath, ownConsole ? CREATE_NEW_CONSOLE : 0, inheritance);
    process_ = process.hProcess;
    id_ = process.dwProcessId;
}

RunningProgram::~RunningProgram() {
    EndAndClose(static_cast<HANDLE>(process_));
    delete files_;
}

std::string RunningProgram::Out() const { return ReadFile(files_->OutPath); }

int RunningProgram::PostClose() const {
    struct Search {
        DWORD Id;
        int Posted = 0;
    } search{id_};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.Id && PostMessageA(window, WM_CLOSE, 0, 0)) ++s.Posted;
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.Posted;
}

void RunningProgram::EndSession() const {
    std::vector<HWND> windows;
    struct Search {
        DWORD Id;
        std::vector<HWND>* Found;
    } search{id_, &windows};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            auto& s = *reinterpret_cast<Search*>(param);
            DWORD owner = 0;
            GetWindowThreadProcessId(window, &owner);
            if (owner == s.Id) s.Found->push_back(window);
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    DWORD_PTR answer = 0;
    for (HWND window : windows)
        SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer);
    for (HWND window : windows)
        SendMessageTimeoutA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000, &answer);
}

ProgramRun RunningProgram::Wait(unsigned limitMs) {
    ProgramRun run;
    run.ExitCode = WaitForEnd(static_cast<HANDLE>(process_), limitMs);
    run.Out = ReadFile(files_->OutPath);
    run.Err = ReadFile(files_->ErrPath);
    return run;
}

std::string ProgramFolder() {
    wchar_t path[MAX_PATH + 1];
    const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH + 1);
    const std::string folder = Utf8FromWide(std::wstring_view(path, n));
    return folder.substr(0, folder.find_last_of("\\/") + 1);
}

bool RunningProgram::SendCtrlC() const {
    // The event goes to every process of a console: this one joins the
    // program's own for the moment, ignoring the event itself.
    FreeConsole();
    if (!AttachConsole(id_)) return false;
    SetConsoleCtrlHandler(nullptr, TRUE);
    const bool sent = GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != FALSE;
    Sleep(100);
    FreeConsole();
    SetConsoleCtrlHandler(nullptr, FALSE);
    return sent;
}

#include "HostName.h"

#include "base/WideText.h"

#include <windows.h>

// In UTF-16 and converted: the report is UTF-8, and the ANSI name would
// have lost a letter outside the code page.
std::string HostName() {
    wchar_t name[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD size = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(name, &size)) return {};
    return Utf8FromWide(std::wstring_view(name, size));
}

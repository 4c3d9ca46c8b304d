#include "platform/window_program.h"

#include <windows.h>
#include <io.h>

#include <cstdio>
#include <string>

namespace sp {

namespace {

// The folder of this program, for the window program beside it.
std::wstring own_folder() {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n == 0) return L".";
        if (n < path.size()) {
            path.resize(n);
            break;
        }
        path.resize(path.size() * 2);
    }
    return path.substr(0, path.find_last_of(L"\\/"));
}

}  // namespace

int open_window_program(std::ostream& err) {
    // selvane-sp.com is the console program; selvane-sp.exe beside it has no console.
    const std::wstring window = own_folder() + L"\\selvane-sp.exe";
    std::wstring command = L"\"" + window + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(window.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
        err << "selvane-sp: cannot start the window (selvane-sp.exe beside this program: error "
            << GetLastError() << "); reinstall it, or use 'selvane-sp --help'\n";
        return 2;
    }
    // The console is given back at once; the window lives on by itself.
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return 0;
}

bool output_is_terminal() { return _isatty(_fileno(stdout)) != 0; }

void use_utf8_console() { SetConsoleOutputCP(CP_UTF8); }

}  // namespace sp

#include "platform/password.h"

#include <windows.h>

#include "platform/wide_text.h"

namespace sp {

// The console's own input and output (CONIN$, CONOUT$), whatever the
// standard streams are redirected to; echo off while the line is typed.
std::optional<std::string> read_password_from_terminal(const std::string& prompt) {
    HANDLE in = CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return std::nullopt;
    DWORD saved = 0;
    if (!GetConsoleMode(in, &saved)) {
        CloseHandle(in);
        return std::nullopt;
    }
    HANDLE out = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    const std::wstring wide_prompt = widen(prompt);
    DWORD written = 0;
    if (out != INVALID_HANDLE_VALUE)
        WriteConsoleW(out, wide_prompt.data(), static_cast<DWORD>(wide_prompt.size()), &written, nullptr);
    SetConsoleMode(in, (saved | ENABLE_LINE_INPUT | ENABLE_PROCESSED_INPUT) & ~ENABLE_ECHO_INPUT);
    std::wstring line;
    wchar_t c = 0;
    DWORD read = 0;
    while (ReadConsoleW(in, &c, 1, &read, nullptr) && read == 1 && c != L'\n') line += c;
    SetConsoleMode(in, saved);
    if (out != INVALID_HANDLE_VALUE) {
        WriteConsoleW(out, L"\r\n", 2, &written, nullptr);
        CloseHandle(out);
    }
    CloseHandle(in);
    if (!line.empty() && line.back() == L'\r') line.pop_back();
    return narrow(line);
}

}  // namespace sp

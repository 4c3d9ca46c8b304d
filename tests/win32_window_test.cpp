// The Win32 window under Wine: its designed size at the screen's DPI, the run on a worker thread, messages
// and the login dialog that hold the run until answered, and ending the program.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <atomic>
#include <cstdlib>
#include <functional>
#include <stdexcept>

#include "platform/wide_text.h"
#include "window_win32/window.h"

namespace sp {
namespace {

// Lets the window's thread work until done() holds or about limit_ms pass.
bool pump_until(const std::function<bool()>& done, int limit_ms = 5000) {
    for (int waited = 0; !done(); ++waited, Sleep(1)) {
        if (waited > limit_ms) return false;
        for (MSG msg; PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE);) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return true;
}

std::string text_of(HWND hwnd) {
    std::wstring text(static_cast<size_t>(GetWindowTextLengthW(hwnd)) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(hwnd, text.data(), static_cast<int>(text.size()))));
    return narrow(text);
}
int progress_of(UpdateWindow& w) { return static_cast<int>(SendMessageW(w.control(kPrgPack), PBM_GETPOS, 0, 0)); }

// What a run changes in the window, as one line.
std::string state(UpdateWindow& w) {
    std::string line = text_of(w.control(kLblEngine)) + " | " + text_of(w.control(kLblUpdate)) + " | " +
                       std::to_string(progress_of(w));
    for (ControlId id : {kCmdOk, kCmdCancel})
        line += " | " + text_of(w.control(id)) + (IsWindowEnabled(w.control(id)) ? " on" : " off");
    return line + " | pointer " + (w.busy_pointer() ? "wait" : "normal");
}

// Answers each message box or dialog of this thread (with respond's choice, else OK), after noting how it looked and
// where the job's step stood once the box had been open for 100 ms. The box runs its own message loop on this thread,
// where the timer fires.
struct MessageAnswerer {
    explicit MessageAnswerer(const std::atomic<int>& job_step) : step(&job_step) { self = this; }
    ~MessageAnswerer() { KillTimer(nullptr, timer); }

    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) { EnumThreadWindows(GetCurrentThreadId(), &answer, 0); }
    static BOOL CALLBACK answer(HWND box, LPARAM) {
        wchar_t name[64] = {};
        GetClassNameW(box, name, 64);
        if (std::wstring(name) != L"#32770" || !IsWindowVisible(box)) return TRUE;  // not a dialog
        Sleep(100);
        const bool modal = !IsWindowEnabled(GetWindow(box, GW_OWNER));
        self->seen.push_back(text_of(box) + " | " + text_of(GetDlgItem(box, 0xFFFF)) + (modal ? " | modal" : "") +
                             " | job at " + std::to_string(*self->step));
        SendMessageW(box, WM_COMMAND, self->respond ? self->respond(box) : IDOK, 0);
        return TRUE;
    }

    static inline MessageAnswerer* self = nullptr;
    const std::atomic<int>* step;
    UINT_PTR timer = SetTimer(nullptr, 0, 10, &MessageAnswerer::tick);
    std::vector<std::string> seen;
    std::function<int(HWND)> respond;
};

// The window as designed; then a run of its job, which asks for a login twice (OK gives what was typed, Cancel
// nothing), then fails after its messages: one more message, and the run ends as if the job had finished.
TEST(Win32Window, HasTheDesignedSizeRunsTheJobOnAWorkerAndEachMessageOrLoginHoldsItUntilAnswered) {
    std::atomic<int> step{0};
    std::vector<std::string> logins;
    UpdateWindow window([&](RunView& view) {
        view.set_engine_label("Database Engine: SQL Server");
        view.set_status_label("Updating database svÉté&01.");
        view.set_progress(40);
        for (step = 1; step == 1;) Sleep(1);  // a statement, until the test moves step on
        for (const char* text : {"-2147217871: Query timeout expired", "-2147467259: délai dépassé"})
            view.show_message(text), ++step;
        for (int i = 0; i < 2; ++i, ++step) {
            std::string user = "sa", password;
            const LoginAnswer answer = view.ask_login("svÉté&01", user, password);
            logins.push_back(std::to_string(static_cast<int>(answer)) + " " + user + " " + password);
        }
        throw std::runtime_error("driver gone");
    });
    const int dpi = static_cast<int>(window.dpi());
    EXPECT_GE(dpi, 96);
    EXPECT_EQ(text_of(window.handle()), "Selvane SP5.4");
    RECT client{};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, MulDiv(289, dpi, 96));
    EXPECT_EQ(client.bottom, MulDiv(170, dpi, 96));
    EXPECT_FALSE(GetWindowLongW(window.handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));  // fixed size
    EXPECT_EQ(SendMessageW(window.control(kPrgPack), PBM_GETRANGE, FALSE, 0), 100);  // a percentage
    EXPECT_EQ(state(window), " | Click 'Start' to begin. | 0 | &Start on | &Cancel on | pointer normal");

    MessageAnswerer answerer(step);
    answerer.respond = [&](HWND box) {
        const HWND password = GetDlgItem(box, kTxtPassword);
        if (!password) return IDOK;      // a message
        if (step == 5) return IDCANCEL;  // the second login
        EXPECT_TRUE(GetWindowLongW(password, GWL_STYLE) & ES_PASSWORD);
        SetWindowTextW(GetDlgItem(box, kTxtUser), L"admin");
        SetWindowTextW(password, widen("sécret").c_str());
        return IDOK;
    };
    ShowWindow(window.handle(), SW_SHOW);
    SendMessageW(window.control(kCmdOk), BM_CLICK, 0, 0);
    // The job is held inside a statement on a worker (here, it would hang the click); its reports reach the window.
    ASSERT_TRUE(pump_until([&] { return step == 1 && progress_of(window) == 40; }));
    EXPECT_EQ(state(window), "Database Engine: SQL Server | Updating database svÉté&01. | 40 | &Start on | "
                             "&Cancel off | pointer wait");
    SendMessageW(window.control(kCmdOk), BM_CLICK, 0, 0);  // ignored during the run
    step = 2;
    ASSERT_TRUE(pump_until([&] { return !window.run_under_way(); }));
    pump_until([] { return false; }, 100);

    // Each box held the job at the step it was shown from.
    const std::string box = "Selvane SP5.4 | ", ok = " | modal | job at ",
                      login = box + "The server refused the login to data source svÉté&01. Enter a user name and "
                                    "password for it: | modal | job at ";
    EXPECT_EQ(answerer.seen,
              (std::vector<std::string>{box + "-2147217871: Query timeout expired" + ok + "2",
                                        box + "-2147467259: délai dépassé" + ok + "3", login + "4", login + "5",
                                        box + "The update stopped because of an unexpected failure: driver gone" +
                                            ok + "6"}));
    EXPECT_EQ(logins, (std::vector<std::string>{"2 admin sécret", "1 sa "}));
    EXPECT_EQ(state(window), "Database Engine: SQL Server | Updating database svÉté&01. | 40 | &Start off | "
                             "E&xit on | pointer normal");
    SendMessageW(window.control(kCmdCancel), BM_CLICK, 0, 0);
    EXPECT_TRUE(pump_until([&] { return !IsWindowVisible(window.handle()); }));
}

// The job is stopped (its statement cancelled) and the program ends once it returned.
TEST(Win32WindowDeathTest, ClosingDuringARunStopsTheJobAndEndsTheProgram) {
    static std::atomic<bool> stopped{false};
    EXPECT_EXIT(
        {
            UpdateWindow window(
                [](RunView& view) {
                    view.set_status_label("Updating database sv01.");
                    while (!stopped) Sleep(1);  // a database call, until cancelled
                    std::fputs("job returned\n", stderr);
                },
                [] { stopped = true; });
            ShowWindow(window.handle(), SW_SHOW);
            SendMessageW(window.control(kCmdOk), BM_CLICK, 0, 0);
            pump_until([&] { return text_of(window.control(kLblUpdate)) == "Updating database sv01."; });
            SendMessageW(window.handle(), WM_CLOSE, 0, 0);
            std::_Exit(99);  // not ended by the close
        },
        ::testing::ExitedWithCode(kExitClosedDuringRun), "job returned");
}

}  // namespace
}  // namespace sp

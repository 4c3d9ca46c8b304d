// The Win32 window under Wine: its designed size at the screen's DPI, the
// run on a worker thread, messages and the login dialog that hold the run
// until answered, a real run over a PostgreSQL data source, and ending the program. With SP_SCREENSHOT set, the
// window at the end of that run is saved there as a bitmap for people to see.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <stdexcept>
#include <thread>

#include "core/run_driver.h"
#include "odbc/odbc_session.h"
#include "platform/wide_text.h"
#include "tests/support/odbc_sandbox.h"
#include "window_win32/window.h"

namespace sp {
namespace {

const std::string kDatabase = testing::OdbcSandbox::instance().add_postgres("svwindow");

// Lets the window's thread work until done() holds or about limit_ms pass.
bool pump_until(const std::function<bool()>& done, int limit_ms = 5000) {
    for (int waited = 0; !done(); ++waited, Sleep(1)) {
        if (waited > limit_ms) return false;
        MSG msg;
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
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
std::string class_of(HWND hwnd) {
    wchar_t name[64] = {};
    GetClassNameW(hwnd, name, 64);
    return narrow(name);
}
int progress_of(UpdateWindow& w) { return static_cast<int>(SendMessageW(w.control(kPrgPack), PBM_GETPOS, 0, 0)); }

// What a run changes in the window, as one line.
std::string state(UpdateWindow& w) {
    auto button = [&](ControlId id) {
        return text_of(w.control(id)) + (IsWindowEnabled(w.control(id)) ? " on" : " off");
    };
    return text_of(w.control(kLblEngine)) + " | " + text_of(w.control(kLblUpdate)) + " | " +
           std::to_string(progress_of(w)) + " | " + button(kCmdOk) + " | " + button(kCmdCancel) + " | pointer " +
           (w.busy_pointer() ? "wait" : "normal");
}

// Answers each message box or dialog of this thread (with respond's choice,
// else OK), after noting how it looked and where the job's step stood once the
// box had been open for 100 ms. The box runs its own message loop on this
// thread, where the timer fires.
struct MessageAnswerer {
    explicit MessageAnswerer(const std::atomic<int>& job_step) : step(&job_step) {
        self = this;
        timer = SetTimer(nullptr, 0, 10, &MessageAnswerer::tick);
    }
    ~MessageAnswerer() { KillTimer(nullptr, timer); }

    static void CALLBACK tick(HWND, UINT, UINT_PTR, DWORD) {
        EnumThreadWindows(GetCurrentThreadId(), &MessageAnswerer::answer, 0);
    }
    static BOOL CALLBACK count_button(HWND child, LPARAM count) {
        if (class_of(child) == "Button" && IsWindowVisible(child)) ++*reinterpret_cast<int*>(count);
        return TRUE;
    }
    static BOOL CALLBACK answer(HWND box, LPARAM) {
        if (class_of(box) != "#32770" || !IsWindowVisible(box)) return TRUE;
        if (self->step) Sleep(100);
        int buttons = 0;
        EnumChildWindows(box, &MessageAnswerer::count_button, reinterpret_cast<LPARAM>(&buttons));
        const bool ok_only = buttons == 1 && GetDlgItem(box, IDOK);
        const bool modal = !IsWindowEnabled(GetWindow(box, GW_OWNER));
        if (self->step) {
            self->seen.push_back(text_of(box) + " | " + text_of(GetDlgItem(box, 0xFFFF)) +
                                 (ok_only ? " | OK" : " | buttons") + (modal ? " | modal" : "") + " | job at " +
                                 std::to_string(*self->step));
        }
        const int command = self->respond ? self->respond(box) : IDOK;
        ++self->answered;
        SendMessageW(box, WM_COMMAND, command, 0);
        return TRUE;
    }

    static inline MessageAnswerer* self = nullptr;
    const std::atomic<int>* step;
    UINT_PTR timer = 0;
    std::vector<std::string> seen;
    int answered = 0;
    std::function<int(HWND)> respond;
};

// The window as the screen shows it, as a 24-bit bitmap file.
void save_screenshot(HWND hwnd, const std::string& path) {
    RECT r{};
    GetWindowRect(hwnd, &r);
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bitmap);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFOHEADER info{sizeof info, w, h, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    const int stride = (w * 3 + 3) & ~3;
    std::vector<char> pixels(static_cast<size_t>(stride) * h);
    GetDIBits(mem, bitmap, 0, h, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS);
    BITMAPFILEHEADER file{0x4D42, static_cast<DWORD>(sizeof(BITMAPFILEHEADER) + sizeof info + pixels.size()), 0, 0,
                          sizeof(BITMAPFILEHEADER) + sizeof info};
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(&file), sizeof file);
    out.write(reinterpret_cast<const char*>(&info), sizeof info);
    out.write(pixels.data(), static_cast<std::streamsize>(pixels.size()));
    DeleteObject(bitmap);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
}

TEST(Win32Window, HasTheDesignedControlsAtTheScreensDpiAndCancelBeforeARunCloses) {
    UpdateWindow window([](RunView&) {});
    const UINT dpi = window.dpi();
    EXPECT_GE(dpi, 96u);
    auto at_dpi = [dpi](int pixels_at_96) { return MulDiv(pixels_at_96, static_cast<int>(dpi), 96); };
    EXPECT_EQ(class_of(window.handle()), "frmPack");
    EXPECT_EQ(text_of(window.handle()), "Selvane SP5.4");
    RECT client{};
    GetClientRect(window.handle(), &client);
    EXPECT_EQ(client.right, at_dpi(289));
    EXPECT_EQ(client.bottom, at_dpi(170));
    EXPECT_FALSE(GetWindowLongW(window.handle(), GWL_STYLE) & (WS_THICKFRAME | WS_MAXIMIZEBOX));  // fixed size
    EXPECT_EQ(class_of(window.control(kPrgPack)), "msctls_progress32");
    PBRANGE range{};
    SendMessageW(window.control(kPrgPack), PBM_GETRANGE, FALSE, reinterpret_cast<LPARAM>(&range));
    EXPECT_EQ(range.iLow, 0);
    EXPECT_EQ(range.iHigh, 100);
    EXPECT_EQ(state(window), " | Click 'Start' to begin. | 0 | &Start on | &Cancel on | pointer normal");

    ShowWindow(window.handle(), SW_SHOW);
    SendMessageW(window.control(kCmdCancel), BM_CLICK, 0, 0);
    EXPECT_TRUE(pump_until([&] { return !IsWindowVisible(window.handle()); }));
}

// The job fails after its messages: one more message, and the run ends as if the job had finished.
TEST(Win32Window, StartRunsTheJobOnAWorkerAndEachMessageHoldsItUntilOk) {
    std::atomic<int> runs{0}, step{0};
    std::thread::id job_thread;
    UpdateWindow window([&](RunView& view) {
        job_thread = std::this_thread::get_id();
        ++runs;
        view.set_engine_label("Database Engine: SQL Server");
        view.set_status_label("Updating database svÉté&01.");
        view.set_progress(40);
        for (step = 1; step == 1;) Sleep(1);  // a statement, until the test moves step on
        for (const char* text : {"-2147217871: Query timeout expired", "-2147467259: délai dépassé"})
            view.show_message(text), ++step;
        throw std::runtime_error("driver gone");
    });
    MessageAnswerer answerer(step);
    ShowWindow(window.handle(), SW_SHOW);
    SendMessageW(window.control(kCmdOk), BM_CLICK, 0, 0);
    // The job is held inside a statement; its reports reach the window all the same.
    ASSERT_TRUE(pump_until([&] { return step == 1 && progress_of(window) == 40; }));
    EXPECT_NE(job_thread, std::this_thread::get_id());
    EXPECT_EQ(state(window), "Database Engine: SQL Server | Updating database svÉté&01. | 40 | &Start on | "
                             "&Cancel off | pointer wait");
    SendMessageW(window.control(kCmdOk), BM_CLICK, 0, 0);  // ignored during the run
    step = 2;
    ASSERT_TRUE(pump_until([&] { return !window.run_under_way(); }));
    pump_until([] { return false; }, 100);

    const std::string box = "Selvane SP5.4 | ", ok = " | OK | modal | job at ";
    EXPECT_EQ(answerer.seen,
              (std::vector<std::string>{box + "-2147217871: Query timeout expired" + ok + "2",
                                        box + "-2147467259: délai dépassé" + ok + "3",
                                        box + "The update stopped because of an unexpected failure: driver gone" +
                                            ok + "4"}));  // each box held the job at the step it was shown from
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(state(window), "Database Engine: SQL Server | Updating database svÉté&01. | 40 | &Start off | "
                             "E&xit on | pointer normal");
    SendMessageW(window.control(kCmdCancel), BM_CLICK, 0, 0);
    EXPECT_TRUE(pump_until([&] { return !IsWindowVisible(window.handle()); }));
}

// A refused login asks in a modal dialog (name kept, password hidden); OK
// gives what was typed, Cancel nothing.
TEST(Win32Window, ALoginIsAskedInAModalDialogWithAHiddenPassword) {
    std::vector<std::string> answers;
    UpdateWindow window([&](RunView& view) {
        for (int i = 0; i < 2; ++i) {
            std::string user = "sa", password;
            const LoginAnswer answer = view.ask_login("svÉté&01", user, password);
            answers.push_back(std::to_string(static_cast<int>(answer)) + " " + user + " " + password);
        }
    });
    std::atomic<int> step{0};
    MessageAnswerer answerer(step);
    bool password_hidden = false;
    answerer.respond = [&](HWND dialog) {
        const HWND password = GetDlgItem(dialog, kTxtPassword);
        if (answerer.answered) return IDCANCEL;
        password_hidden = GetWindowLongW(password, GWL_STYLE) & ES_PASSWORD;
        SetWindowTextW(GetDlgItem(dialog, kTxtUser), L"admin");
        SetWindowTextW(password, widen("sécret").c_str());
        return IDOK;
    };
    ShowWindow(window.handle(), SW_SHOW);
    SendMessageW(window.control(kCmdOk), BM_CLICK, 0, 0);
    ASSERT_TRUE(pump_until([&] { return !window.run_under_way(); }));
    EXPECT_EQ(answers, (std::vector<std::string>{"2 admin sécret", "1 sa "}));
    EXPECT_TRUE(password_hidden);
    const std::string seen = "Selvane SP5.4 | The server refused the login to data source svÉté&01. Enter a user "
                             "name and password for it: | buttons | modal | job at 0";
    EXPECT_EQ(answerer.seen, (std::vector<std::string>{seen, seen}));
}

// The run driver over the real ODBC layer and a database of the previous
// version, which takes the Pervasive wording without a failure.
TEST(Win32Window, ARunOverARealDataSourceMovesTheProgressBarToTheEnd) {
    SP_REQUIRE_POSTGRES(kDatabase);
    OdbcConnector connector;
    {
        auto session = connector.connect({kDatabase, 10, 30});
        ASSERT_TRUE(session) << session.error().messages();
        for (const std::string& sql : testing::legacy_schema(true, "(1, 1, 1, 0, 'first comment', 0, 0, 'c', 1)"))
            ASSERT_TRUE((*session)->execute(sql)) << sql;
    }
    const DataSourceLists lists{{}, {kDatabase}};
    UpdateWindow window([&](RunView& view) { run_upgrade(lists, connector, view); });
    std::atomic<int> step{0};
    MessageAnswerer answerer(step);
    std::vector<int> progress;  // as the window showed it, each change once
    ShowWindow(window.handle(), SW_SHOW);
    SendMessageW(window.control(kCmdOk), BM_CLICK, 0, 0);
    ASSERT_TRUE(pump_until(
        [&] {
            if (progress.empty() || progress.back() != progress_of(window)) progress.push_back(progress_of(window));
            return !window.run_under_way();
        },
        120000));
    EXPECT_TRUE(answerer.seen.empty()) << answerer.seen.front();
    // The bar moved forward (the pump may see only some of the phases' points); it ends at 100 (below).
    EXPECT_GE(progress.size(), 2u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(state(window), " | Updating complete. | 100 | &Start off | E&xit on | pointer normal");
    if (const char* path = std::getenv("SP_SCREENSHOT")) {
        pump_until([] { return false; }, 300);
        save_screenshot(window.handle(), path);
    }
}

// The job is stopped (its statement cancelled) and the program ends once it returned.
TEST(Win32WindowDeathTest, ClosingDuringARunStopsTheJobAndEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
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

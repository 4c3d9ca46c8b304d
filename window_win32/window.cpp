#include "window_win32/window.h"

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <future>
#include <iterator>
#include <vector>

#include "core/version.h"
#include "platform/wide_text.h"

namespace sp {
namespace {

constexpr wchar_t kClassName[] = L"frmPack";
// Tells the window that the worker has queued view calls.
constexpr UINT kRunCallsMessage = WM_APP + 1;
// The window was designed in twips: 1440 to the inch.
constexpr int kTwipsPerInch = 1440;
constexpr DWORD kWindowStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
// Closing during a run: how long the job may take to return once stopped.
constexpr auto kStopWait = std::chrono::seconds(3);

struct Design {
    ControlId id;
    const wchar_t* window_class;
    const wchar_t* caption;
    DWORD style;
    int left, top, width, height;  // twips
};

// SS_NOPREFIX: a data-source name with "&" is shown as it is.
constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX;
constexpr DWORD kLine = WS_CHILD | WS_VISIBLE | SS_LEFTNOWORDWRAP | SS_NOPREFIX | SS_ENDELLIPSIS;
constexpr DWORD kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

const Design kDesign[] = {
    {kLblInfo, L"STATIC", L"Selvane SP5.4 to update the database and table structures for version 5.4.0.", kLabel,
     120, 120, 4215, 495},
    {kLblEngine, L"STATIC", L"", kLine, 120, 840, 1275, 195},
    {kPrgPack, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 120, 1200, 4095, 375},
    {kLblUpdate, L"STATIC", L"Click 'Start' to begin.", kLine, 120, 1680, 3975, 255},
    {kCmdOk, L"BUTTON", L"&Start", kButton, 2160, 2040, 975, 375},
    {kCmdCancel, L"BUTTON", L"&Cancel", kButton, 3240, 2040, 975, 375},
};
constexpr int kClientWidth = 4335, kClientHeight = 2550;

int pixels(int twips, UINT dpi) { return MulDiv(twips, static_cast<int>(dpi), kTwipsPerInch); }

// Per-monitor DPI where Windows has it (10, 1607 on), else the screen's.
UINT dpi_of(HWND hwnd) {
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    static const auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
    if (get_dpi) {
        if (const UINT dpi = get_dpi(hwnd)) return dpi;
    }
    HDC dc = GetDC(hwnd);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSX);
    ReleaseDC(hwnd, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : 96;
}

SIZE window_size_for_client(int width, int height, UINT dpi) {
    RECT rect{0, 0, width, height};
    using AdjustForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);
    static const auto adjust_for_dpi = reinterpret_cast<AdjustForDpiFn>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "AdjustWindowRectExForDpi")));
    if (!adjust_for_dpi || !adjust_for_dpi(&rect, kWindowStyle, FALSE, 0, dpi))
        AdjustWindowRectEx(&rect, kWindowStyle, FALSE, 0);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void register_class() {
    static const bool registered = [] {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES};
        InitCommonControlsEx(&controls);
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = DefWindowProcW;  // replaced per window below
        wc.hInstance = GetModuleHandleW(nullptr);
        wc.hIcon = LoadIconW(wc.hInstance, MAKEINTRESOURCEW(1));
        wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClassName;
        return RegisterClassExW(&wc) != 0;
    }();
    (void)registered;
}

// The login dialog, as a dialog template in memory: Windows lays it out in
// dialog units of its font, so it follows the DPI, and runs it modally with
// Tab, Enter and Esc. Items: class atom, style, x, y, width, height, id, text.
struct DialogItem {
    WORD atom;  // 0x80 button, 0x81 edit, 0x82 static
    DWORD style;
    short x, y, cx, cy;
    int id;
    const wchar_t* text;
};

constexpr DWORD kEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
const DialogItem kLoginItems[] = {
    // The explanation has the message box's text id, so that it is found the same way.
    {0x82, WS_CHILD | WS_VISIBLE | SS_LEFT | SS_NOPREFIX, 7, 7, 226, 24, 0xFFFF, L""},
    {0x82, WS_CHILD | WS_VISIBLE | SS_LEFT, 7, 38, 56, 8, -1, L"&User name:"},
    {0x81, kEdit, 66, 36, 167, 12, kTxtUser, L""},
    {0x82, WS_CHILD | WS_VISIBLE | SS_LEFT, 7, 56, 56, 8, -1, L"&Password:"},
    {0x81, kEdit | ES_PASSWORD, 66, 54, 167, 12, kTxtPassword, L""},
    {0x80, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 129, 76, 50, 14, IDOK, L"OK"},
    {0x80, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 183, 76, 50, 14, IDCANCEL, L"Cancel"},
};

std::vector<WORD> login_template() {
    std::vector<WORD> t;
    auto dword = [&t](DWORD v) { t.push_back(LOWORD(v)), t.push_back(HIWORD(v)); };
    auto text = [&t](const wchar_t* s) { t.insert(t.end(), s, s + wcslen(s) + 1); };
    dword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT | DS_CENTER);
    dword(0);
    t.push_back(static_cast<WORD>(std::size(kLoginItems)));
    for (short v : {0, 0, 240, 97}) t.push_back(static_cast<WORD>(v));
    t.push_back(0), t.push_back(0);  // no menu, the standard dialog class
    text(L"");                        // the caption is set with the texts
    t.push_back(8), text(L"MS Shell Dlg");
    for (const DialogItem& item : kLoginItems) {
        if (t.size() % 2) t.push_back(0);  // each item starts on a DWORD
        dword(item.style);
        dword(0);
        for (short v : {item.x, item.y, item.cx, item.cy}) t.push_back(static_cast<WORD>(v));
        t.push_back(static_cast<WORD>(item.id));
        t.push_back(0xFFFF), t.push_back(item.atom);
        text(item.text);
        t.push_back(0);  // no creation data
    }
    return t;
}

struct LoginDialog {
    std::wstring explanation, user, password;
    bool given = false;
};

INT_PTR CALLBACK login_dialog_proc(HWND dialog, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
        auto* login = reinterpret_cast<LoginDialog*>(lparam);
        SetWindowLongPtrW(dialog, DWLP_USER, lparam);
        SetWindowTextW(dialog, widen(kAppTitle).c_str());
        SetDlgItemTextW(dialog, 0xFFFF, login->explanation.c_str());
        SetDlgItemTextW(dialog, kTxtUser, login->user.c_str());
        SetFocus(GetDlgItem(dialog, login->user.empty() ? kTxtUser : kTxtPassword));
        return FALSE;  // the focus is set
    }
    if (message != WM_COMMAND || (LOWORD(wparam) != IDOK && LOWORD(wparam) != IDCANCEL)) return FALSE;
    auto* login = reinterpret_cast<LoginDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
    login->given = LOWORD(wparam) == IDOK;
    if (login->given) {
        auto read = [dialog](int id) {
            std::wstring text(static_cast<size_t>(GetWindowTextLengthW(GetDlgItem(dialog, id))) + 1, L'\0');
            text.resize(static_cast<size_t>(GetDlgItemTextW(dialog, id, text.data(), static_cast<int>(text.size()))));
            return text;
        };
        login->user = read(kTxtUser);
        login->password = read(kTxtPassword);
    }
    SetDlgItemTextW(dialog, kTxtPassword, L"");
    EndDialog(dialog, LOWORD(wparam));
    return TRUE;
}

// Ends the program without waiting for the worker, which may be blocked in a
// database call that nothing can interrupt; the database rolls back the
// statement in flight when the connection drops.
[[noreturn]] void end_program_now(int exit_code) {
    std::fflush(nullptr);
    std::_Exit(exit_code);
}

}  // namespace

// The worker's view: every call is queued to the window's thread; a message
// waits there until it has been answered.
class UpdateWindow::QueuedView : public RunView {
public:
    explicit QueuedView(UpdateWindow& window) : window_(window) {}
    void run_started() override { window_.post_call([w = &window_] { w->run_started(); }); }
    void set_engine_label(const std::string& t) override {
        window_.post_call([w = &window_, t] { w->set_engine_label(t); });
    }
    void set_status_label(const std::string& t) override {
        window_.post_call([w = &window_, t] { w->set_status_label(t); });
    }
    void set_progress(int v) override { window_.post_call([w = &window_, v] { w->set_progress(v); }); }
    void show_message(const std::string& t) override {
        std::promise<void> answered;
        window_.post_call([w = &window_, &t, &answered] {
            w->show_message(t);
            answered.set_value();
        });
        answered.get_future().wait();
    }
    void run_finished() override { window_.post_call([w = &window_] { w->run_finished(); }); }
    LoginAnswer ask_login(const std::string& data_source, std::string& user, std::string& password) override {
        std::promise<LoginAnswer> answered;
        window_.post_call([&] { answered.set_value(window_.ask_login(data_source, user, password)); });
        return answered.get_future().get();
    }

private:
    UpdateWindow& window_;
};

UpdateWindow::UpdateWindow(RunJob run, std::function<void()> stop) : run_(std::move(run)), stop_(std::move(stop)) {
    register_class();
    hwnd_ = CreateWindowExW(0, kClassName, widen(window_caption()).c_str(), kWindowStyle, CW_USEDEFAULT,
                            CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, GetModuleHandleW(nullptr),
                            nullptr);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    SetWindowLongPtrW(hwnd_, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&UpdateWindow::window_proc));
    create_controls();
    lay_out(dpi_of(hwnd_));
}

UpdateWindow::~UpdateWindow() {
    end_program_if_run_under_way();
    // The job has reported the end of its run and is only returning.
    if (worker_.joinable()) worker_.join();
    set_busy_pointer(false);
    if (IsWindow(hwnd_)) DestroyWindow(hwnd_);
    if (font_) DeleteObject(font_);
}

void UpdateWindow::create_controls() {
    for (const auto& d : kDesign) {
        CreateWindowExW(0, d.window_class, d.caption, d.style, 0, 0, 0, 0, hwnd_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(d.id)), GetModuleHandleW(nullptr), nullptr);
    }
    SendMessageW(control(kPrgPack), PBM_SETRANGE32, 0, 100);
    SendMessageW(control(kPrgPack), PBM_SETPOS, 0, 0);
    SetFocus(control(kCmdOk));
}

void UpdateWindow::lay_out(UINT dpi) {
    dpi_ = dpi;
    const SIZE size = window_size_for_client(pixels(kClientWidth, dpi), pixels(kClientHeight, dpi), dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, size.cx, size.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    // The design font: MS Sans Serif, 8 points.
    HFONT font = CreateFontW(-MulDiv(8, static_cast<int>(dpi), 72), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                             DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                             DEFAULT_PITCH | FF_SWISS, L"MS Sans Serif");
    for (const auto& d : kDesign) {
        HWND child = control(d.id);
        MoveWindow(child, pixels(d.left, dpi), pixels(d.top, dpi), pixels(d.width, dpi), pixels(d.height, dpi), TRUE);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (font_) DeleteObject(font_);
    font_ = font;
}

LRESULT CALLBACK UpdateWindow::window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    auto* self = reinterpret_cast<UpdateWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self) return DefWindowProcW(hwnd, message, wparam, lparam);
    return self->handle_message(message, wparam, lparam);
}

LRESULT UpdateWindow::handle_message(UINT message, WPARAM wparam, LPARAM lparam) {
    switch (message) {
    case WM_COMMAND:
        if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == kCmdOk) start_run();
        if (HIWORD(wparam) == BN_CLICKED && LOWORD(wparam) == kCmdCancel) PostMessageW(hwnd_, WM_CLOSE, 0, 0);
        return 0;
    case WM_CLOSE:
        // Closing during a run ends the program at once.
        end_program_if_run_under_way();
        ShowWindow(hwnd_, SW_HIDE);
        if (ends_message_loop_) PostQuitMessage(0);
        return 0;
    case WM_SETCURSOR:
        if (busy_pointer_ && LOWORD(lparam) == HTCLIENT) {
            SetCursor(LoadCursorW(nullptr, IDC_WAIT));
            return TRUE;
        }
        break;
    case WM_DPICHANGED: {
        const RECT* suggested = reinterpret_cast<const RECT*>(lparam);
        SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        lay_out(HIWORD(wparam));
        return 0;
    }
    case kRunCallsMessage:
        run_posted_calls();
        return 0;
    }
    return DefWindowProcW(hwnd_, message, wparam, lparam);
}

void UpdateWindow::end_program_if_run_under_way() {
    if (state_ != State::Running || closing_) return;
    if (stop_ && worker_.joinable()) {
        // Cancel the statement in flight through the driver, so that nothing
        // is left waiting or committing on the server, and let the job end;
        // its last calls still need this thread.
        closing_ = true;
        stop_();
        const auto deadline = std::chrono::steady_clock::now() + kStopWait;
        while (!worker_returned_ && std::chrono::steady_clock::now() < deadline) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageW(&msg);
            }
        }
    }
    end_program_now(kExitClosedDuringRun);
}

void UpdateWindow::start_run() {
    // Start stays enabled during a run, as designed, but only one run may
    // use the connection; after a run a new start of the program is needed.
    if (state_ != State::Loaded) return;
    state_ = State::Running;
    run_started();
    worker_ = std::thread([this] {
        QueuedView view(*this);
        // A failure escaping the job must not take the program down
        // unexplained, nor leave the window waiting forever.
        try {
            if (run_) run_(view);
        } catch (const std::exception& e) {
            view.show_message(std::string("The update stopped because of an unexpected failure: ") + e.what());
        } catch (...) {
            view.show_message("The update stopped because of an unexpected failure.");
        }
        worker_returned_ = true;
        post_call([this] { on_worker_done(); });
    });
}

void UpdateWindow::on_worker_done() {
    worker_.join();
    // A job that ended without saying so still leaves the window able to exit;
    // the labels keep what the job last showed.
    if (state_ == State::Running) run_finished();
}

void UpdateWindow::post_call(std::function<void()> call) {
    {
        std::lock_guard<std::mutex> lock(queue_mutex_);
        queue_.push_back(std::move(call));
    }
    PostMessageW(hwnd_, kRunCallsMessage, 0, 0);
}

void UpdateWindow::run_posted_calls() {
    // A message box runs its own message loop; the calls after it wait for it.
    if (running_calls_) return;
    running_calls_ = true;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard<std::mutex> lock(queue_mutex_);
            if (queue_.empty()) break;
            call = std::move(queue_.front());
            queue_.pop_front();
        }
        call();
    }
    running_calls_ = false;
}

void UpdateWindow::set_busy_pointer(bool busy) {
    busy_pointer_ = busy;
    POINT at{};
    if (GetCursorPos(&at) && WindowFromPoint(at) && GetAncestor(WindowFromPoint(at), GA_ROOT) == hwnd_)
        SetCursor(LoadCursorW(nullptr, busy ? IDC_WAIT : IDC_ARROW));
}

void UpdateWindow::show_in_line(ControlId id, const std::string& text) {
    HWND label = control(id);
    const std::wstring full = widen(text);
    RECT rect{};
    GetWindowRect(label, &rect);
    MapWindowPoints(HWND_DESKTOP, hwnd_, reinterpret_cast<POINT*>(&rect), 2);
    RECT client{};
    GetClientRect(hwnd_, &client);
    // The room a line may take: up to the window's right edge less the left margin.
    const int room = client.right - 2 * rect.left;
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, font_);
    SIZE needed{};
    GetTextExtentPoint32W(dc, full.c_str(), static_cast<int>(full.size()), &needed);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    if (needed.cx > rect.right - rect.left)  // wider within the window; what still does not fit ends in "..."
        SetWindowPos(label, nullptr, 0, 0, std::min<int>(needed.cx, room), rect.bottom - rect.top,
                     SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    SetWindowTextW(label, full.c_str());
}

void UpdateWindow::run_started() {
    EnableWindow(control(kCmdCancel), FALSE);
    set_busy_pointer(true);
}

void UpdateWindow::set_engine_label(const std::string& text) { show_in_line(kLblEngine, text); }

void UpdateWindow::set_status_label(const std::string& text) { show_in_line(kLblUpdate, text); }

void UpdateWindow::set_progress(int value) {
    SendMessageW(control(kPrgPack), PBM_SETPOS, static_cast<WPARAM>(std::clamp(value, 0, 100)), 0);
}

void UpdateWindow::show_message(const std::string& text) {
    MessageBoxW(hwnd_, widen(text).c_str(), widen(kAppTitle).c_str(), MB_OK);
}

LoginAnswer UpdateWindow::ask_login(const std::string& data_source, std::string& user, std::string& password) {
    LoginDialog login{widen("The server refused the login to data source " + data_source +
                            ". Enter a user name and password for it:"),
                      widen(user), {}};
    static const std::vector<WORD> dialog = login_template();
    const bool was_busy = busy_pointer_;
    busy_pointer_ = false;  // the pointer of a window waiting for the user
    DialogBoxIndirectParamW(GetModuleHandleW(nullptr), reinterpret_cast<const DLGTEMPLATE*>(dialog.data()), hwnd_,
                            &login_dialog_proc, reinterpret_cast<LPARAM>(&login));
    busy_pointer_ = was_busy;
    if (login.given) {
        user = narrow(login.user);
        password = narrow(login.password);
    }
    SecureZeroMemory(login.password.data(), login.password.size() * sizeof(wchar_t));
    return login.given ? LoginAnswer::Given : LoginAnswer::Cancelled;
}

void UpdateWindow::run_finished() {
    state_ = State::Finished;
    SetWindowTextW(control(kCmdCancel), L"E&xit");
    EnableWindow(control(kCmdCancel), TRUE);
    set_busy_pointer(false);
    EnableWindow(control(kCmdOk), FALSE);
    SetFocus(control(kCmdCancel));
}

int run_window_app(int&, char**, RunJob run, std::function<void()> stop) {
    UpdateWindow window(std::move(run), std::move(stop));
    window.ends_message_loop_ = true;
    ShowWindow(window.handle(), SW_SHOWDEFAULT);  // as the shortcut or the starting program asks
    ::UpdateWindow(window.handle());
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (!IsDialogMessageW(window.handle(), &msg)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
    }
    return static_cast<int>(msg.wParam);
}

}  // namespace sp

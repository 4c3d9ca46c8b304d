// The program's one window on Windows, frmPack: an information text, the
// engine and status lines, the progress bar, Start and Cancel (Exit once the
// run is over), laid out from the design's twips for the monitor's DPI.
// Start runs the upgrade job on a worker thread; the job's view calls are
// queued to this window's thread in the order made, and a message or the
// login dialog holds the job until the user answers.
#pragma once

#include <windows.h>

#include <atomic>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "core/run_view.h"
#include "window_qt/window_app.h"  // RunJob and run_window_app, free of Qt: both windows have them

namespace sp {

// Control identifiers, for GetDlgItem; the last two are the login dialog's.
enum ControlId : int { kLblInfo = 101, kLblEngine, kPrgPack, kLblUpdate, kCmdOk, kCmdCancel, kTxtUser, kTxtPassword };

class UpdateWindow : private RunView {
public:
    // Creates the window, not yet shown, on the calling thread.
    // stop: asks the job to stop and cancels its statement in flight; called
    // when the window is closed during a run, which then waits a few seconds
    // at most for the job to return and ends the program.
    explicit UpdateWindow(RunJob run, std::function<void()> stop = {});
    // Destroying the window while a run is under way ends the program, as
    // closing it does: the job may be blocked in a database call.
    ~UpdateWindow() override;
    UpdateWindow(const UpdateWindow&) = delete;
    UpdateWindow& operator=(const UpdateWindow&) = delete;

    HWND handle() const { return hwnd_; }
    HWND control(ControlId id) const { return GetDlgItem(hwnd_, id); }
    // From the press of Start until the job reports the end of its run (or
    // returns without doing so).
    bool run_under_way() const { return state_ == State::Running; }
    bool busy_pointer() const { return busy_pointer_; }
    // The dots per inch the window is laid out for.
    UINT dpi() const { return dpi_; }

private:
    enum class State { Loaded, Running, Finished };

    static LRESULT CALLBACK window_proc(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT handle_message(UINT message, WPARAM wparam, LPARAM lparam);
    void create_controls();
    void lay_out(UINT dpi);
    void start_run();
    void end_program_if_run_under_way();
    void on_worker_done();
    void set_busy_pointer(bool busy);
    void show_in_line(ControlId id, const std::string& text);

    // Queue of view calls from the worker, run on the window's thread.
    void post_call(std::function<void()> call);
    void run_posted_calls();

    // RunView, on this window's thread only (the worker goes through the queue).
    void run_started() override;
    void set_engine_label(const std::string& text) override;
    void set_status_label(const std::string& text) override;
    void set_progress(int value) override;
    void show_message(const std::string& text) override;
    void run_finished() override;
    LoginAnswer ask_login(const std::string& data_source, std::string& user, std::string& password) override;

    class QueuedView;

    RunJob run_;
    std::function<void()> stop_;
    std::atomic<bool> worker_returned_{false};
    State state_ = State::Loaded;
    bool busy_pointer_ = false;
    bool closing_ = false;
    HWND hwnd_ = nullptr;
    HFONT font_ = nullptr;
    UINT dpi_ = 96;
    std::thread worker_;
    std::mutex queue_mutex_;
    std::deque<std::function<void()>> queue_;
    bool running_calls_ = false;
    bool ends_message_loop_ = false;  // the program's window: closing it ends the loop

    friend int run_window_app(int& argc, char** argv, RunJob run, std::function<void()> stop);
};

}  // namespace sp

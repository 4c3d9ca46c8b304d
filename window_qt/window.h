// The program's one window, frmPack: an information text, the engine and
// status lines, the progress bar, Start and Cancel (Exit once the run is
// over). Start runs the upgrade job on a worker thread; the job reports
// through a view whose calls are carried to this window's thread, so the
// window keeps painting while a statement runs.
#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "core/run_view.h"
#include "window_qt/window_app.h"

class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

namespace sp {

class QueuedRunView;

class UpdateWindow : public QWidget, private RunView {
    Q_OBJECT

public:
    // stop: asks the job to stop and cancels its statement in flight; called
    // when the window is closed during a run.
    explicit UpdateWindow(RunJob run, std::function<void()> stop = {}, QWidget* parent = nullptr);
    // Destroying the window while a run is under way ends the program, as
    // closing it does: the job may be blocked in a database call.
    ~UpdateWindow() override;

    // From the press of Start until the job reports the end of its run (or
    // returns without doing so).
    bool run_under_way() const { return state_ == State::Running; }

protected:
    // Closing during a run stops the job (its statement in flight is
    // cancelled), waits a few seconds at most for it to return, then ends
    // the program.
    void closeEvent(QCloseEvent* event) override;

private:
    enum class State { Loaded, Running, Finished };

    void start_run();
    void end_program_if_run_under_way();
    void on_worker_done();
    void set_busy_pointer(bool busy);
    // Shows text in one of the status lines, widening the label within the
    // window when the text needs it and shortening what still does not fit.
    void show_in_line(QLabel* label, const std::string& text);

    // RunView, called on this window's thread only (the worker goes through
    // the queued view).
    void run_started() override;
    void set_engine_label(const std::string& text) override;
    void set_status_label(const std::string& text) override;
    void set_progress(int value) override;
    void show_message(const std::string& text) override;
    void run_finished() override;
    LoginAnswer ask_login(const std::string& data_source, std::string& user, std::string& password) override;

    RunJob run_;
    std::function<void()> stop_;
    bool closing_ = false;  // the job was asked to stop; its messages are not shown
    State state_ = State::Loaded;
    bool busy_pointer_ = false;
    std::unique_ptr<QueuedRunView> worker_view_;
    std::unique_ptr<QThread> worker_;

    QLabel* lbl_info_;
    QLabel* lbl_engine_;
    QProgressBar* prg_pack_;
    QLabel* lbl_update_;
    QPushButton* cmd_ok_;
    QPushButton* cmd_cancel_;
};

}  // namespace sp

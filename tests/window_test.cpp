// Tests of the window: its designed layout, the run on a worker thread with
// labels and progress reaching the window, messages that hold the run until
// OK, and ending the program from the window.
#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFontDatabase>
#include <QFontInfo>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <future>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "app/window.h"
#include "app/window_queued_view.h"

namespace sp {
namespace {

using namespace std::chrono_literals;

// One application for the whole test program, on the offscreen platform so
// that no display is needed.
class QtApplication : public ::testing::Environment {
public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        app_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[12] = "window_test";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<QApplication> app_;
};
[[maybe_unused]] const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

// Lets the window's thread work until done() holds or the limit passes.
bool pump_until(const std::function<bool()>& done, std::chrono::milliseconds limit = 5s) {
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limit.count()) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QThread::msleep(1);
    }
    return true;
}

// Holds a job, as a long database call would, until the test lets it go.
class Gate {
public:
    void open() {
        std::lock_guard lock(mutex_);
        open_ = true;
        changed_.notify_all();
    }
    void wait() {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, 10s, [this] { return open_; });
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool open_ = false;
};

template <class Widget>
Widget& part(QWidget& window, const char* name) {
    auto* widget = window.findChild<Widget*>(QString::fromLatin1(name));
    if (!widget) throw std::runtime_error(std::string("no control ") + name);
    return *widget;
}

QString text_of(QWidget& window, const char* name) {
    if (auto* label = window.findChild<QLabel*>(QString::fromLatin1(name))) return label->text();
    return part<QPushButton>(window, name).text();
}

int cursor_shape() {
    return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1;
}

// Answers each message box the window shows with OK, after noting how it
// looked and giving the job a moment in which it must not go on.
class MessageAnswerer {
public:
    struct Seen {
        QString title, text;
        Qt::TextFormat format = Qt::AutoText, label_format = Qt::AutoText;
        QMessageBox::StandardButtons buttons;
        qsizetype button_count = 0;
        bool modal = false;
        int cursor = -1;
        bool job_went_on = false;
    };

    MessageAnswerer(QWidget& window, std::function<bool()> job_went_on)
        : window_(window), job_went_on_(std::move(job_went_on)) {
        // The box runs its own event loop on this thread, so it is found
        // from a timer rather than after the click that leads to it.
        QObject::connect(&timer_, &QTimer::timeout, [this] { answer_visible_box(); });
        timer_.start(10);
    }

    std::vector<Seen> seen;

private:
    void answer_visible_box() {
        for (auto* box : window_.findChildren<QMessageBox*>()) {
            if (!box->isVisible()) continue;
            auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            QThread::msleep(100);
            seen.push_back({box->windowTitle(), box->text(), box->textFormat(),
                            label ? label->textFormat() : Qt::AutoText, box->standardButtons(),
                            box->buttons().size(), box->isModal(), cursor_shape(), job_went_on_()});
            box->button(QMessageBox::Ok)->click();
        }
    }

    QWidget& window_;
    std::function<bool()> job_went_on_;
    QTimer timer_;
};

TEST(WindowLayout, ControlsHaveTheDesignedNamesCaptionsAndPixelPositions) {
    UpdateWindow window([](RunView&) {});
    EXPECT_EQ(window.objectName(), "frmPack");
    EXPECT_EQ(window.windowTitle(), "Selvane SP5.4");
    EXPECT_EQ(window.minimumSize(), QSize(289, 170));  // 4335 x 2550 twips
    EXPECT_EQ(window.maximumSize(), QSize(289, 170));

    const struct {
        const char* name;
        QRect pixels;
        QString text;
    } expected[] = {
        {"lblInfo", {8, 8, 281, 33}, "Selvane SP5.4 to update the database and table structures for version 5.4.0."},
        {"lblEngine", {8, 56, 85, 13}, ""},
        {"prgPack", {8, 80, 273, 25}, {}},
        {"lblUpdate", {8, 112, 265, 17}, "Click 'Start' to begin."},
        {"cmdOK", {144, 136, 65, 25}, "&Start"},
        {"cmdCancel", {216, 136, 65, 25}, "&Cancel"},
    };
    for (const auto& control : expected) {
        SCOPED_TRACE(control.name);
        QWidget& widget = part<QWidget>(window, control.name);
        EXPECT_EQ(widget.geometry(), control.pixels);
        EXPECT_TRUE(widget.isEnabled());
        if (!control.text.isNull()) {
            EXPECT_EQ(text_of(window, control.name), control.text);
        }
        if (auto* label = qobject_cast<QLabel*>(&widget)) {
            EXPECT_EQ(label->textFormat(), Qt::PlainText);
        }
    }
    auto& progress = part<QProgressBar>(window, "prgPack");
    EXPECT_EQ(progress.minimum(), 0);
    EXPECT_EQ(progress.maximum(), 100);
    EXPECT_EQ(progress.value(), 0);
}

TEST(WindowLayout, FontIsAnInstalledProportionalFaceInWhichTheTextsFit) {
    UpdateWindow window([](RunView&) {});
    const QFontInfo font(window.font());
    EXPECT_TRUE(QFontDatabase::hasFamily(font.family())) << font.family().toStdString();
    EXPECT_FALSE(font.fixedPitch());
    EXPECT_EQ(font.pointSize(), 8);

    auto& info = part<QLabel>(window, "lblInfo");
    EXPECT_LE(info.heightForWidth(info.width()), info.height()) << "the information text is cut off";
    for (const char* name : {"lblUpdate", "lblEngine"}) {
        auto& label = part<QLabel>(window, name);
        EXPECT_GE(label.height(), label.fontMetrics().height()) << name;
        EXPECT_LE(label.fontMetrics().horizontalAdvance(label.text()), label.width()) << name;
    }
}

TEST(WindowRun, StartRunsTheJobOnAWorkerWhileTheWindowShowsItsReports) {
    Gate statement;
    std::atomic<bool> in_statement{false};
    std::atomic<int> runs{0};
    std::thread::id job_thread;
    UpdateWindow window([&](RunView& view) {
        job_thread = std::this_thread::get_id();
        ++runs;
        view.run_started();
        view.set_status_label("Beginning update.");
        view.set_engine_label("Database Engine: SQL Server");
        view.set_progress(0);
        view.set_status_label("Updating database sv01.");
        view.set_progress(40);
        in_statement = true;
        statement.wait();
        view.set_progress(100);
        view.set_engine_label("");
        view.set_status_label("Updating complete.");
        view.run_finished();
    });
    window.show();
    auto& start = part<QPushButton>(window, "cmdOK");
    auto& cancel = part<QPushButton>(window, "cmdCancel");
    auto& progress = part<QProgressBar>(window, "prgPack");

    start.click();
    EXPECT_FALSE(cancel.isEnabled());
    EXPECT_EQ(cursor_shape(), Qt::WaitCursor);

    // The job is held inside its statement; its reports reach the window all the same.
    ASSERT_TRUE(pump_until([&] { return in_statement && progress.value() == 40; }));
    EXPECT_NE(job_thread, std::this_thread::get_id());
    EXPECT_EQ(text_of(window, "lblUpdate"), "Updating database sv01.");
    EXPECT_EQ(text_of(window, "lblEngine"), "Database Engine: SQL Server");
    EXPECT_TRUE(window.run_under_way());
    EXPECT_TRUE(start.isEnabled());
    EXPECT_FALSE(cancel.isEnabled());
    EXPECT_EQ(cursor_shape(), Qt::WaitCursor);

    // Further presses of Start during the run are ignored.
    start.click();
    start.click();

    statement.open();
    ASSERT_TRUE(pump_until([&] { return !window.run_under_way(); }));
    EXPECT_EQ(progress.value(), 100);
    EXPECT_EQ(text_of(window, "lblUpdate"), "Updating complete.");
    EXPECT_EQ(text_of(window, "lblEngine"), "");
    EXPECT_EQ(cancel.text(), "E&xit");
    EXPECT_TRUE(cancel.isEnabled());
    EXPECT_FALSE(start.isEnabled());
    EXPECT_EQ(cursor_shape(), -1);
    pump_until([] { return false; }, 100ms);
    EXPECT_EQ(runs, 1);

    cancel.click();
    EXPECT_FALSE(window.isVisible());
}

TEST(WindowRun, StatusLinesWidenToTheirTextAndShortenWhatCannotFit) {
    const std::string long_name(32, 'W');
    UpdateWindow window([&](RunView& view) {
        view.set_engine_label("Database Engine: SQL Server");
        view.set_status_label("Updating database " + long_name + ".");
        view.run_finished();
    });
    window.show();
    part<QPushButton>(window, "cmdOK").click();
    ASSERT_TRUE(pump_until([&] { return !window.run_under_way(); }));

    auto& engine = part<QLabel>(window, "lblEngine");
    EXPECT_EQ(engine.text(), "Database Engine: SQL Server");
    EXPECT_LE(engine.fontMetrics().horizontalAdvance(engine.text()), engine.width());
    auto& status = part<QLabel>(window, "lblUpdate");
    EXPECT_LE(status.fontMetrics().horizontalAdvance(status.text()), status.width());
    EXPECT_NE(status.text().toStdString(), "Updating database " + long_name + ".");
    EXPECT_EQ(status.toolTip().toStdString(), "Updating database " + long_name + ".");
    for (QLabel* label : {&engine, &status}) EXPECT_LE(label->geometry().right(), window.width() - 8);
}

TEST(WindowMessages, AMessageHoldsTheJobUntilOkAndShowsMarkupLiterally) {
    std::atomic<int> answered{0};
    UpdateWindow window([&](RunView& view) {
        view.run_started();
        view.set_status_label("Updating database <b>sv01</b>.");
        view.show_message("-2147217871: <b>Query timeout</b> expired");
        ++answered;
        view.show_message("-2147467259: second");
        ++answered;
        view.run_finished();
    });
    MessageAnswerer answerer(window, [&] { return answered > int(answerer.seen.size()); });
    window.show();
    part<QPushButton>(window, "cmdOK").click();
    ASSERT_TRUE(pump_until([&] { return !window.run_under_way(); }));

    ASSERT_EQ(answerer.seen.size(), 2u);
    EXPECT_EQ(answerer.seen[0].text, "-2147217871: <b>Query timeout</b> expired");
    EXPECT_EQ(answerer.seen[1].text, "-2147467259: second");
    for (const auto& box : answerer.seen) {
        EXPECT_EQ(box.title, "Selvane SP5.4");
        EXPECT_EQ(box.format, Qt::PlainText);
        EXPECT_EQ(box.label_format, Qt::PlainText);
        EXPECT_EQ(box.buttons, QMessageBox::Ok);
        EXPECT_EQ(box.button_count, 1);
        EXPECT_TRUE(box.modal);
        EXPECT_FALSE(box.job_went_on) << "the job went on before OK";
        EXPECT_EQ(box.cursor, Qt::ArrowCursor) << "the user is asked to click while the pointer says wait";
    }
    EXPECT_EQ(answered, 2);
    EXPECT_EQ(text_of(window, "lblUpdate"), "Updating database <b>sv01</b>.");
    EXPECT_EQ(cursor_shape(), -1);
}

TEST(WindowMessages, AJobThatFailsIsReportedAndLeavesTheWindowAbleToExit) {
    UpdateWindow window([](RunView& view) {
        view.run_started();
        view.set_status_label("Updating database sv01.");
        throw std::runtime_error("driver gone");
    });
    MessageAnswerer answerer(window, [] { return false; });
    window.show();
    part<QPushButton>(window, "cmdOK").click();
    ASSERT_TRUE(pump_until([&] { return !window.run_under_way(); }));

    ASSERT_EQ(answerer.seen.size(), 1u);
    EXPECT_TRUE(answerer.seen[0].text.contains("driver gone")) << answerer.seen[0].text.toStdString();
    // Not "Updating complete.": the run did not complete.
    EXPECT_EQ(text_of(window, "lblUpdate"), "Updating database sv01.");
    EXPECT_EQ(text_of(window, "cmdCancel"), "E&xit");
    EXPECT_TRUE(part<QPushButton>(window, "cmdCancel").isEnabled());
    EXPECT_FALSE(part<QPushButton>(window, "cmdOK").isEnabled());
    EXPECT_EQ(cursor_shape(), -1);
}

TEST(WindowClose, CancelBeforeARunClosesTheWindow) {
    std::atomic<int> runs{0};
    UpdateWindow window([&](RunView&) { ++runs; });
    window.show();
    part<QPushButton>(window, "cmdCancel").click();
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(runs, 0);
}

TEST(WindowCloseDeathTest, ClosingDuringARunEndsTheProgramAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::promise<void> never;
            UpdateWindow window([&](RunView& view) {
                view.set_status_label("Updating database sv01.");
                never.get_future().wait();  // a database call that does not return
            });
            window.show();
            part<QPushButton>(window, "cmdOK").click();
            pump_until([&] { return text_of(window, "lblUpdate") == "Updating database sv01."; });
            window.close();
            std::_Exit(99);  // not ended by the close
        },
        ::testing::ExitedWithCode(kExitClosedDuringRun), "");
}

// The bridge alone: what a worker's calls look like on the window's thread.
class RecordingView : public RunView {
public:
    void run_started() override { note("started"); }
    void set_engine_label(const std::string& text) override { note("engine " + text); }
    void set_status_label(const std::string& text) override { note("status " + text); }
    void set_progress(int value) override { note("progress " + std::to_string(value)); }
    void show_message(const std::string& text) override {
        std::this_thread::sleep_for(50ms);  // the user reading it
        note("message " + text);
    }
    void run_finished() override { note("finished"); }

    std::mutex mutex;
    std::vector<std::string> calls;
    std::vector<std::thread::id> threads;

private:
    void note(const std::string& call) {
        std::lock_guard lock(mutex);
        calls.push_back(call);
        threads.push_back(std::this_thread::get_id());
    }
};

TEST(QueuedRunView, WorkerCallsArriveOnTheWindowThreadInOrderAndMessagesWait) {
    RecordingView target;
    QObject window_side;
    QueuedRunView queued(target, &window_side);
    std::vector<std::string> seen_when_message_returned;
    std::thread worker([&] {
        queued.run_started();
        queued.set_engine_label("Database Engine: SQL Server");
        queued.set_progress(5);
        queued.show_message("-1: failed");
        {
            std::lock_guard lock(target.mutex);
            seen_when_message_returned = target.calls;
        }
        queued.set_status_label("Updating complete.");
        queued.run_finished();
    });
    const bool all_arrived = pump_until([&] {
        std::lock_guard lock(target.mutex);
        return target.calls.size() == 6;
    });
    worker.join();
    ASSERT_TRUE(all_arrived);

    const std::vector<std::string> expected = {"started", "engine Database Engine: SQL Server", "progress 5",
                                               "message -1: failed", "status Updating complete.", "finished"};
    EXPECT_EQ(target.calls, expected);
    EXPECT_EQ(seen_when_message_returned, std::vector<std::string>(expected.begin(), expected.begin() + 4));
    for (const auto& thread : target.threads) EXPECT_EQ(thread, std::this_thread::get_id());
}

TEST(QueuedRunView, CallsFromTheWindowThreadItselfAreMadeAtOnce) {
    RecordingView target;
    QObject window_side;
    QueuedRunView queued(target, &window_side);
    queued.show_message("-1: failed");  // would wait for itself if it were queued
    queued.set_progress(10);
    EXPECT_EQ(target.calls, (std::vector<std::string>{"message -1: failed", "progress 10"}));
}

}  // namespace
}  // namespace sp

// The window on Qt's offscreen platform: its designed layout, the run on a worker thread, messages that hold the run
// until OK, and ending the program.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <thread>

#include "core/version.h"
#include "tests/support/fake_database.h"
#include "tests/support/script_helpers.h"
#include "window_qt/window.h"
#include "window_qt/window_app.h"
#include "window_qt/window_job.h"

namespace sp {
namespace {

int argc = 1;
char arg0[] = "window_test", *argv[] = {arg0, nullptr};
struct QtApplication : ::testing::Environment {
    void SetUp() override { qputenv("QT_QPA_PLATFORM", "offscreen"); app = std::make_unique<QApplication>(argc, argv); }
    void TearDown() override { app.reset(); }
    std::unique_ptr<QApplication> app;
};
[[maybe_unused]] const auto* const kQtApplication = ::testing::AddGlobalTestEnvironment(new QtApplication);

// Lets the window's thread work until done() holds or about limit_ms pass.
bool pump_until(const std::function<bool()>& done, int limit_ms = 5000) {
    for (int waited = 0; !done(); ++waited, QThread::msleep(1)) {
        if (waited > limit_ms) return false;
        QCoreApplication::processEvents();
    }
    return true;
}

template <class Widget = QWidget>
Widget& part(QWidget& window, const char* name) {
    if (auto* widget = window.findChild<Widget*>(QString::fromLatin1(name))) return *widget;
    throw std::runtime_error(std::string("no control ") + name);
}
std::string text_of(QWidget& w, const char* name) { return part(w, name).property("text").toString().toStdString(); }
std::string pointer() {
    const int shape = QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1;
    return shape == -1 ? "normal" : shape == Qt::WaitCursor ? "wait" : shape == Qt::ArrowCursor ? "arrow" : "other";
}

// What a run changes in the window, as one line.
std::string state(QWidget& window) {
    auto button = [&](const char* n) { return text_of(window, n) + (part(window, n).isEnabled() ? " on" : " off"); };
    return text_of(window, "lblEngine") + " | " + text_of(window, "lblUpdate") + " | " +
           std::to_string(part<QProgressBar>(window, "prgPack").value()) + " | " + button("cmdOK") + " | " +
           button("cmdCancel") + " | pointer " + pointer();
}

// Answers each message box of the window with OK, after noting how it looked and, if given, where the job's step stood
// once the box had been open for 100 ms. The first login dialog gets a name and a password, later ones Cancel.
struct MessageAnswerer {
    explicit MessageAnswerer(QWidget& window, const std::atomic<int>* job_step = nullptr) {
        // The box runs its own event loop on this thread, so a timer finds it.
        QObject::connect(&timer, &QTimer::timeout, [&window, job_step, this] {
            for (auto* box : window.findChildren<QDialog*>()) {
                if (!box->isVisible()) continue;
                QThread::msleep(100);
                auto* message = qobject_cast<QMessageBox*>(box);
                auto* label = box->findChild<QLabel*>(message ? "qt_msgbox_label" : "");
                seen.push_back((box->windowTitle() + " | " + label->text()).toStdString() +
                               (label->textFormat() == Qt::PlainText ? " | plain" : " | rich") + " | pointer " +
                               pointer() + (job_step ? " | job at " + std::to_string(*job_step) : ""));
                if (message) {
                    message->button(QMessageBox::Ok)->click();
                    continue;
                }
                auto* password = box->findChild<QLineEdit*>("loginPassword");
                seen.back() += password->echoMode() == QLineEdit::Password ? " | hidden" : " | shown";
                if (++logins == 1) {
                    box->findChild<QLineEdit*>("loginUser")->setText("admin");
                    password->setText("sécret");
                }
                auto* buttons = box->findChild<QDialogButtonBox*>();
                buttons->button(logins == 1 ? QDialogButtonBox::Ok : QDialogButtonBox::Cancel)->click();
            }
        });
        timer.start(10);
    }
    int logins = 0;
    QTimer timer;
    std::vector<std::string> seen;
};

// The window as designed; then a run of its job, which fails after its messages: one more message, and the run ends as
// if the job had finished.
TEST(Window, HasTheDesignedControlsRunsTheJobOnAWorkerAndEachMessageOrLoginHoldsItUntilAnswered) {
    std::atomic<int> step{0};
    std::vector<std::string> logins;
    UpdateWindow window([&](RunView& view) {
        view.run_started();
        view.set_engine_label("Database Engine: SQL Server");
        view.set_status_label("Updating database <b>sv01</b>.");
        view.set_progress(40);
        for (step = 1; step == 1;) QThread::msleep(1);  // a statement, until the test moves step on
        for (const char* text : {"-2147217871: <b>Query timeout</b> expired", "-2147467259: second"})
            view.show_message(text), ++step;
        for (; step < 6; ++step) {
            std::string user = "sa", password;
            const LoginAnswer answer = view.ask_login("<b>sv01</b>", user, password);
            logins.push_back(std::to_string(static_cast<int>(answer)) + " " + user + " " + password);
        }
        throw std::runtime_error("driver gone");
    });
    EXPECT_EQ(window.windowTitle(), "Selvane SP5.4");
    EXPECT_EQ(window_caption(6, 0), "Selvane SP6");  // no point for a minor version 0
    EXPECT_TRUE(QFontDatabase::hasFamily(window.font().family())) << "an installed face stands in for the design's";
    EXPECT_TRUE(window.minimumSize() == QSize(289, 170) && window.maximumSize() == QSize(289, 170));  // fixed
    for (const char* label : {"lblInfo", "lblEngine", "lblUpdate"})
        EXPECT_EQ(part<QLabel>(window, label).textFormat(), Qt::PlainText) << label;
    EXPECT_EQ(state(window), " | Click 'Start' to begin. | 0 | &Start on | &Cancel on | pointer normal");

    MessageAnswerer answerer(window, &step);
    window.show();
    part<QPushButton>(window, "cmdOK").click();
    // The job is held inside a statement on a worker (here, it would hang the click); its reports reach the window.
    ASSERT_TRUE(pump_until([&] { return step == 1 && part<QProgressBar>(window, "prgPack").value() == 40; }));
    EXPECT_EQ(state(window), "Database Engine: SQL Server | Updating database <b>sv01</b>. | 40 | &Start on | "
                             "&Cancel off | pointer wait");
    part<QPushButton>(window, "cmdOK").click();  // ignored during the run
    step = 2;
    ASSERT_TRUE(pump_until([&] { return !window.run_under_way(); }));
    pump_until([] { return false; }, 100);

    const std::string box = "Selvane SP5.4 | ", plain = " | plain | pointer arrow | job at ",
                      login = box + "The server refused the login to data source <b>sv01</b>. Enter a user name and "
                                    "password for it:";
    EXPECT_EQ(answerer.seen, (std::vector<std::string>{
                                 box + "-2147217871: <b>Query timeout</b> expired" + plain + "2",
                                 box + "-2147467259: second" + plain + "3", login + plain + "4 | hidden",
                                 login + plain + "5 | hidden",
                                 box + "The update stopped because of an unexpected failure: driver gone" + plain +
                                     "6"}));  // each box held the job at the step it was shown from
    EXPECT_EQ(logins, (std::vector<std::string>{"2 admin sécret", "1 sa "}));
    EXPECT_EQ(state(window), "Database Engine: SQL Server | Updating database <b>sv01</b>. | 40 | &Start off | "
                             "E&xit on | pointer normal");
    part<QPushButton>(window, "cmdCancel").click();
    EXPECT_FALSE(window.isVisible());
}

struct MemoryLog : LogFile {
    std::string& text;
    explicit MemoryLog(std::string& t) : text(t) {}
    bool append(std::string_view s) override { return text += s, true; }
};

TEST(Window, TheRunOfStartKeepsALogAnswersTheStopAndWaitsForNoOtherRun) {
    testing::FakeDatabase db;
    const std::string in_flight = testing::statement(Engine::SqlServer, 2, 141);
    StopSwitch stop;
    db.fail = [&](const std::string& sql) -> std::optional<DbError> {
        if (sql != in_flight) return std::nullopt;
        stop.stop();  // as closing the window does
        return testing::sql_error("HY008", 0, "Operation canceled");
    };
    std::string log;
    bool busy = false;
    WindowJobParts parts;
    parts.lock_for_run = [&] { return LockAttempt{nullptr, busy, busy ? "another run is under way" : ""}; };
    parts.open_log = [&](auto) { return OpenedLog{std::make_unique<MemoryLog>(log), "run.log", {}}; };
    for (bool other_run : {false, true}) {
        busy = other_run;
        UpdateWindow window(window_run_job([] { return DataSourceLists{{"sv01"}, {}}; }, db, stop, parts));
        MessageAnswerer answerer(window);
        part<QPushButton>(window, "cmdOK").click();
        ASSERT_TRUE(pump_until([&] { return !window.run_under_way(); }));
        pump_until([] { return false; }, 50);
        if (!other_run) {
            // The statement in flight was cancelled through its session and nothing followed it.
            EXPECT_EQ(db.executed().back(), in_flight);
            EXPECT_NE(std::find(db.log.begin(), db.log.end(), "cancel"), db.log.end());
            EXPECT_TRUE(answerer.seen.empty()) << answerer.seen.front();
            EXPECT_EQ(state(window), " | Update interrupted. | 100 | &Start off | E&xit on | pointer normal");
            EXPECT_NE(log.find("\nStarted from: window\n"), std::string::npos) << log;
        } else {
            EXPECT_EQ(answerer.seen, std::vector<std::string>{"Selvane SP5.4 | The update was not started: another run "
                                                              "is under way. | plain | pointer arrow"});
            EXPECT_EQ(state(window), " | The update was not started. | 0 | &Start off | E&xit on | pointer normal");
        }
    }
    EXPECT_EQ(db.connects.size(), 1u);  // only the run that had the machine to itself
}

// Closed, or destroyed without a close (as when the application quits), during a run: the program ends at once,
// or, when closing pulls a stop, once the stopped job has returned.
void end_during_a_run(int how) {  // 0: closed, 1: destroyed, 2: closed with a stop
    static std::atomic<bool> stopped{false};
    auto* window = new UpdateWindow(
        [](RunView& view) {
            view.set_status_label("Updating database sv01.");
            while (!stopped) QThread::msleep(1);  // a database call, until cancelled (without a stop, never)
            std::fputs("job returned\n", stderr);
        },
        how == 2 ? std::function<void()>([] { stopped = true; }) : nullptr);
    window->show();
    part<QPushButton>(*window, "cmdOK").click();
    pump_until([&] { return text_of(*window, "lblUpdate") == "Updating database sv01."; });
    how == 1 ? delete window : (void)window->close();
    std::_Exit(99);  // not ended by it
}

// The program's application shows its window (the test's own application goes first: one per process).
void show_the_programs_window() {
    delete QCoreApplication::instance();
    std::thread([] {
        while (!QCoreApplication::instance()) QThread::msleep(1);
        QMetaObject::invokeMethod(QCoreApplication::instance(), [] {
            const auto windows = QApplication::topLevelWidgets();
            std::_Exit(std::ranges::any_of(windows, [](QWidget* w) { return w->isVisible(); }) ? 0 : 3);
        }, Qt::QueuedConnection);
    }).detach();
    run_window_app(argc, argv, [](RunView&) {}, nullptr);
    std::_Exit(2);
}

TEST(WindowDeathTest, TheProgramShowsItsWindowAndClosingItDuringARunEndsTheProgram) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(show_the_programs_window(), ::testing::ExitedWithCode(0), "");
    for (int how : {0, 1, 2})
        EXPECT_EXIT(end_during_a_run(how), ::testing::ExitedWithCode(kExitClosedDuringRun),
                    how == 2 ? "job returned" : "") << how;
}

}  // namespace
}  // namespace sp

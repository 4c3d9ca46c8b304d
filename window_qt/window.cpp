#include "window_qt/window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "core/version.h"
#include "window_qt/window_queued_view.h"

namespace sp {
namespace {

// The window was designed in twips; at the usual 96 dots per inch a pixel is 15 twips.
constexpr int kTwipsPerPixel = 15;

// How long closing the window during a run waits for the stopped job to
// return before the program ends all the same.
constexpr int kStopWaitMs = 3000;

// How long the window, when destroyed, waits for a job that has finished its
// run to return.
constexpr int kWorkerReturnLimitMs = 5000;

QRect from_twips(int left, int top, int width, int height) {
    return QRect(left / kTwipsPerPixel, top / kTwipsPerPixel, width / kTwipsPerPixel, height / kTwipsPerPixel);
}

// The design font is the Windows face MS Sans Serif at 8 points. Where it is
// not installed, the font system's own sans-serif face stands in for it.
QFont window_font() {
    QFont font(QStringLiteral("MS Sans Serif"), 8);
    if (!QFontDatabase::hasFamily(font.family())) {
        font.setStyleHint(QFont::SansSerif);
        font.setFamily(QFontInfo(font).family());
    }
    return font;
}

QLabel* make_label(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(QString::fromLatin1(name));
    // Data-source names and server messages are shown as they are, never as markup.
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setGeometry(geometry);
    return label;
}

QPushButton* make_button(QWidget* parent, const char* name, const QString& text, QRect geometry) {
    auto* button = new QPushButton(text, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    return button;
}

// Ends the program without waiting for the worker, which may be blocked in a
// database call that nothing can interrupt; the database rolls back the
// statement in flight when the connection drops.
[[noreturn]] void end_program_now(int exit_code) {
    std::fflush(nullptr);
    std::_Exit(exit_code);
}

}  // namespace

UpdateWindow::UpdateWindow(RunJob run, std::function<void()> stop, QWidget* parent)
    : QWidget(parent), run_(std::move(run)), stop_(std::move(stop)) {
    setObjectName(QStringLiteral("frmPack"));
    setFont(window_font());
    setFixedSize(from_twips(0, 0, 4335, 2550).size());
    setWindowFlags(Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QString::fromStdString(window_caption()));

    lbl_info_ = make_label(this, "lblInfo",
                           QStringLiteral("Selvane SP5.4 to update the database and table structures for "
                                          "version 5.4.0."),
                           from_twips(120, 120, 4215, 495));
    lbl_info_->setWordWrap(true);
    lbl_engine_ = make_label(this, "lblEngine", QString(), from_twips(120, 840, 1275, 195));
    prg_pack_ = new QProgressBar(this);
    prg_pack_->setObjectName(QStringLiteral("prgPack"));
    prg_pack_->setRange(0, 100);
    prg_pack_->setValue(0);
    prg_pack_->setTextVisible(false);
    prg_pack_->setGeometry(from_twips(120, 1200, 4095, 375));
    lbl_update_ = make_label(this, "lblUpdate", QStringLiteral("Click 'Start' to begin."),
                             from_twips(120, 1680, 3975, 255));
    cmd_ok_ = make_button(this, "cmdOK", QStringLiteral("&Start"), from_twips(2160, 2040, 975, 375));
    cmd_cancel_ = make_button(this, "cmdCancel", QStringLiteral("&Cancel"), from_twips(3240, 2040, 975, 375));

    connect(cmd_ok_, &QPushButton::clicked, this, &UpdateWindow::start_run);
    connect(cmd_cancel_, &QPushButton::clicked, this, &QWidget::close);
}

UpdateWindow::~UpdateWindow() {
    end_program_if_run_under_way();
    // The job has reported the end of its run and is only returning.
    if (worker_ && !worker_->wait(QDeadlineTimer(kWorkerReturnLimitMs))) end_program_now(0);
    set_busy_pointer(false);
}

void UpdateWindow::closeEvent(QCloseEvent* event) {
    end_program_if_run_under_way();
    event->accept();
}

void UpdateWindow::end_program_if_run_under_way() {
    if (state_ != State::Running || closing_) return;
    if (stop_ && worker_) {
        // Cancel the statement in flight through the driver, so that nothing
        // is left waiting or committing on the server, and let the job end.
        closing_ = true;
        stop_();
        QEventLoop wait;
        connect(worker_.get(), &QThread::finished, &wait, &QEventLoop::quit);
        QTimer::singleShot(kStopWaitMs, &wait, &QEventLoop::quit);
        if (!worker_->isFinished()) wait.exec();
    }
    end_program_now(kExitClosedDuringRun);
}

void UpdateWindow::start_run() {
    // Start stays enabled during a run, as designed, but only one run may
    // use the connection; after a run a new start of the program is needed.
    if (state_ != State::Loaded) return;
    state_ = State::Running;
    run_started();

    worker_view_ = std::make_unique<QueuedRunView>(static_cast<RunView&>(*this), this);
    worker_.reset(QThread::create([job = run_, view = worker_view_.get()] {
        // A failure escaping the job must not take the program down
        // unexplained, nor leave the window waiting forever.
        try {
            if (job) job(*view);
        } catch (const std::exception& e) {
            view->show_message(std::string("The update stopped because of an unexpected failure: ") + e.what());
        } catch (...) {
            view->show_message("The update stopped because of an unexpected failure.");
        }
    }));
    connect(worker_.get(), &QThread::finished, this, &UpdateWindow::on_worker_done);
    worker_->start();
}

void UpdateWindow::on_worker_done() {
    worker_->wait();
    // A job that ended without saying so still leaves the window able to exit;
    // the labels keep what the job last showed.
    if (state_ == State::Running) run_finished();
}

void UpdateWindow::set_busy_pointer(bool busy) {
    if (busy == busy_pointer_) return;
    busy_pointer_ = busy;
    if (busy)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    else
        QApplication::restoreOverrideCursor();
}

void UpdateWindow::show_in_line(QLabel* label, const std::string& text) {
    const QString full = QString::fromStdString(text);
    const QFontMetrics metrics(label->font());
    // The room a label may take: up to the window's right edge less the left margin.
    const int room = width() - 2 * label->x();
    const int needed = metrics.horizontalAdvance(full);
    if (needed > label->width()) label->resize(std::min(needed, room), label->height());
    if (needed > label->width()) {
        label->setText(metrics.elidedText(full, Qt::ElideMiddle, label->width()));
        label->setToolTip(full);
    } else {
        label->setText(full);
        label->setToolTip(QString());
    }
}

void UpdateWindow::run_started() {
    cmd_cancel_->setEnabled(false);
    set_busy_pointer(true);
}

void UpdateWindow::set_engine_label(const std::string& text) {
    show_in_line(lbl_engine_, text);
}

void UpdateWindow::set_status_label(const std::string& text) {
    show_in_line(lbl_update_, text);
}

void UpdateWindow::set_progress(int value) {
    prg_pack_->setValue(std::clamp(value, prg_pack_->minimum(), prg_pack_->maximum()));
}

LoginAnswer UpdateWindow::ask_login(const std::string& data_source, std::string& user, std::string& password) {
    QDialog dialog(this);
    dialog.setWindowTitle(QString::fromUtf8(kAppTitle));
    auto* layout = new QFormLayout(&dialog);
    auto* explanation = new QLabel(QString::fromStdString("The server refused the login to data source " + data_source +
                                                          ". Enter a user name and password for it:"));
    explanation->setTextFormat(Qt::PlainText);
    explanation->setWordWrap(true);
    layout->addRow(explanation);
    auto* user_edit = new QLineEdit(QString::fromStdString(user));
    user_edit->setObjectName("loginUser");
    auto* password_edit = new QLineEdit;
    password_edit->setObjectName("loginPassword");
    password_edit->setEchoMode(QLineEdit::Password);
    layout->addRow("&User name:", user_edit);
    layout->addRow("&Password:", password_edit);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    layout->addRow(buttons);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    (user.empty() ? user_edit : password_edit)->setFocus();

    const bool was_busy = busy_pointer_;
    if (was_busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    const bool given = dialog.exec() == QDialog::Accepted;
    if (was_busy) QApplication::restoreOverrideCursor();
    if (given) {
        user = user_edit->text().toStdString();
        password = password_edit->text().toStdString();
    }
    password_edit->clear();
    return given ? LoginAnswer::Given : LoginAnswer::Cancelled;
}

void UpdateWindow::show_message(const std::string& text) {
    if (closing_) return;  // the window is going; the job must not wait for an answer
    QMessageBox box(QMessageBox::NoIcon, QString::fromUtf8(kAppTitle), QString::fromStdString(text),
                    QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
    // The user has to reach OK: the busy pointer would say there is nothing to do.
    const bool was_busy = busy_pointer_;
    if (was_busy) QApplication::setOverrideCursor(Qt::ArrowCursor);
    box.exec();
    if (was_busy) QApplication::restoreOverrideCursor();
}

void UpdateWindow::run_finished() {
    state_ = State::Finished;
    cmd_cancel_->setText(QStringLiteral("E&xit"));
    cmd_cancel_->setEnabled(true);
    set_busy_pointer(false);
    cmd_ok_->setEnabled(false);
}

}  // namespace sp

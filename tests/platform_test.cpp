// The operating system's side of a run: where its log goes, how many logs are kept, the lock that lets one run at a
// time, the terminal and the interrupt watcher.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#include <process.h>
#else
#include <csignal>
#include <fcntl.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#endif

#include <cstdlib>
#include <fstream>
#include <set>
#include <thread>

#include "platform/interrupt.h"
#include "platform/password.h"
#include "platform/run_lock.h"
#include "platform/run_log_file.h"
#include "platform/terminal.h"

namespace sp {
namespace {

namespace fs = std::filesystem;

struct Platform : ::testing::Test {
    fs::path dir = fs::temp_directory_path() / ("sp-platform-" + std::to_string(getpid()));
    void SetUp() override {
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
};

#ifdef _WIN32
TEST_F(Platform, TheLogFolderIsTheLocalApplicationDataAndTheWidthTheConsoles) {
    _wputenv_s(L"LOCALAPPDATA", L"C:\\Users\\Zo\u00eb\\AppData\\Local");
    EXPECT_EQ(default_log_folder().wstring(), L"C:\\Users\\Zo\u00eb\\AppData\\Local\\Selvane SP5.4");
    _wputenv_s(L"LOCALAPPDATA", L"");
    EXPECT_EQ(default_log_folder(), fs::path());

    // Output to a file or pipe has no width; a console window of 60 columns has 60.
    EXPECT_EQ(terminal_columns(), 0);
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                                       OPEN_EXISTING, 0, nullptr);
    SetStdHandle(STD_OUTPUT_HANDLE, console);
    const SMALL_RECT window{0, 0, 59, 9};
    EXPECT_TRUE(SetConsoleScreenBufferSize(console, {200, 100}) && SetConsoleWindowInfo(console, TRUE, &window));
    EXPECT_EQ(terminal_columns(), 60);
}
#else
TEST_F(Platform, TheLogFolderFollowsXdgStateHomeElseHomeAndTheLockIsTheMachines) {
    for (const auto& [state_home, home_dir, folder] :
         {std::tuple{"/var/st", "/home/a", "/var/st/selvane-sp"}, {"", "/home/a", "/home/a/.local/state/selvane-sp"},
          {"relative/st", "/home/a", "/home/a/.local/state/selvane-sp"}, {"", "", ""}}) {
        setenv("XDG_STATE_HOME", state_home, 1);
        setenv("HOME", home_dir, 1);
        EXPECT_EQ(default_log_folder(), fs::path(folder)) << state_home << " " << home_dir;
    }
    setenv("SELVANE_SP_LOCK_FILE", "", 1);  // set, but empty
    EXPECT_EQ(default_lock_file(), "/tmp/selvane-sp.lock");
}

// In a session of its own with a terminal of its own: the width the terminal reports (none for other
// output), and a password typed on it, not echoed, with the echo back on afterwards.
[[noreturn]] void on_a_terminal_of_its_own() {
    int master = -1, slave = -1;
    winsize size{24, 77, 0, 0};
    dup2(open("/dev/null", O_WRONLY), STDOUT_FILENO);
    const int none = terminal_columns();
    if (setsid() < 0 || openpty(&master, &slave, nullptr, nullptr, &size) != 0 || ioctl(slave, TIOCSCTTY, 0) != 0)
        std::_Exit(10);
    dup2(slave, STDOUT_FILENO);
    std::thread typist([&] {  // types once the echo is off
        termios t{};
        while (tcgetattr(slave, &t) == 0 && (t.c_lflag & ECHO)) std::this_thread::yield();
        (void)!write(master, "s3 cret\n", 8);
    });
    const auto password = read_password_from_terminal("Password: ");
    typist.join();
    termios after{};
    tcgetattr(slave, &after);
    std::_Exit(none == 0 && terminal_columns() == 77 && password == "s3 cret" && (after.c_lflag & ECHO) ? 0 : 11);
}

TEST(Terminal, ReportsItsWidthAndReadsAPasswordUnseen) {
    EXPECT_EXIT(on_a_terminal_of_its_own(), ::testing::ExitedWithCode(0), "");
}

// The interrupt watcher of a run leaves the signal handlers it found, and no descriptor open, once it has ended.
TEST(Interrupt, TheWatcherLeavesHandlersAndDescriptorsAsItFoundThem) {
    signal(SIGINT, SIG_IGN);
    signal(SIGTERM, SIG_IGN);
    const int lowest_free = dup(0);
    close(lowest_free);
    { InterruptWatcher watcher; }
    for (int s : {SIGINT, SIGTERM}) EXPECT_EQ(signal(s, SIG_DFL), SIG_IGN) << s;
    const int free_now = dup(0);
    close(free_now);
    EXPECT_EQ(free_now, lowest_free);
}
#endif

TEST_F(Platform, ALogPerRunNamedByItsStartAndTheNewestKept) {
    for (int day = 10; day < 15; ++day)
        std::ofstream(dir / ("selvane-sp-202601" + std::to_string(day) + "-080000.log")) << "old";
    std::ofstream(dir / "another-tool.log") << "not ours";

    const auto started = std::chrono::system_clock::now();
    OpenedLog first = open_log_in_folder(dir, started, 4);
    OpenedLog second = open_log_in_folder(dir, started, 4);  // the same second
    ASSERT_TRUE(first.file && second.file) << first.error << second.error;
    EXPECT_EQ(fs::path(second.path).filename().string().substr(26), "-2.log");

    // Four logs are kept: the two new ones and the newest two old ones; other files, logs of others too, stay.
    std::set<std::string> left;
    for (const auto& e : fs::directory_iterator(dir)) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"another-tool.log", "selvane-sp-20260113-080000.log",
                                           "selvane-sp-20260114-080000.log", fs::path(first.path).filename().string(),
                                           fs::path(second.path).filename().string()}));

    // A folder that cannot be made, a file that cannot be written: no log, and why.
    std::ofstream(dir / "plain") << "x";
    OpenedLog none = open_log_in_folder(dir / "plain" / "sub", started);
    EXPECT_FALSE(none.file);
    EXPECT_NE(none.error.find("cannot write the run log " + (dir / "plain" / "sub").string()), std::string::npos);
    EXPECT_FALSE(open_log_file(dir / "missing" / "run.log").file);
}

// A lock file that cannot be made is no refusal, only a reason. (The lock held and refused: UnattendedRun.)
TEST_F(Platform, AnUnusableLockFileIsNoRefusal) {
    LockAttempt unusable = lock_for_run(dir / "missing" / "x.lock");
    EXPECT_FALSE(unusable.held || unusable.busy);
    EXPECT_NE(unusable.message.find("cannot use the lock file"), std::string::npos);
}

}  // namespace
}  // namespace sp

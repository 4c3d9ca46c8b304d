#include "cli/cli.h"

#include <algorithm>
#include <cctype>
#include <climits>
#include <csignal>
#include <memory>

#include "cli/console_view.h"
#include "core/check.h"
#include "core/dry_run.h"
#include "platform/interrupt.h"
#include "core/report_format.h"
#include "core/text.h"
#include "core/run_driver.h"
#include "core/version.h"
#include "odbc/credentials.h"

namespace sp {

namespace {

struct Options {
    enum class Mode { None, Version, Help, List, Run, Script, Check } mode = Mode::None;
    std::vector<std::string> dsns;
    std::optional<std::string> user;
    bool json_report = false;
    std::optional<int> command_timeout;
    std::optional<int> login_timeout;
    Engine engine = Engine::SqlServer;
    DryRunFormat format = DryRunFormat::Text;
    bool format_given = false;
    bool all = false;                    // --list --all
    std::optional<std::string> log_file;  // --log FILE
    bool no_log = false;
};

struct UsageError {
    std::string message;
};

int parse_seconds(const std::string& option, const std::string& text) {
    if (text.empty() || text.size() > 9 || !std::all_of(text.begin(), text.end(), ::isdigit))
        throw UsageError{option + " takes a whole number of seconds (0: no limit), not \"" + text + "\""};
    return std::stoi(text);
}

Options parse(const std::vector<std::string>& args) {
    Options o;
    auto set_mode = [&](Options::Mode m, const std::string& arg) {
        if (o.mode != Options::Mode::None && o.mode != m) throw UsageError{"\"" + arg + "\" cannot be combined with the option before it"};
        o.mode = m;
    };
    for (size_t i = 0; i < args.size(); ++i) {
        std::string arg = args[i];
        std::optional<std::string> inline_value;
        if (arg.rfind("--", 0) == 0) {
            if (auto eq = arg.find('='); eq != std::string::npos) {
                inline_value = arg.substr(eq + 1);
                arg = arg.substr(0, eq);
            }
        }
        auto value = [&]() -> std::string {
            if (inline_value) return *inline_value;
            if (i + 1 >= args.size()) throw UsageError{arg + " needs a value"};
            return args[++i];
        };
        auto no_value = [&] {
            if (inline_value) throw UsageError{arg + " takes no value"};
        };
        if (arg == "--version") {
            no_value();
            set_mode(Options::Mode::Version, arg);
        } else if (arg == "--help" || arg == "-h") {
            no_value();
            set_mode(Options::Mode::Help, arg);
        } else if (arg == "--list") {
            no_value();
            set_mode(Options::Mode::List, arg);
        } else if (arg == "--run") {
            no_value();
            set_mode(Options::Mode::Run, arg);
        } else if (arg == "--check") {
            no_value();
            set_mode(Options::Mode::Check, arg);
        } else if (arg == "--all") {
            no_value();
            o.all = true;
        } else if (arg == "--log") {
            o.log_file = value();
            if (o.log_file->empty()) throw UsageError{"--log needs a file name"};
        } else if (arg == "--no-log") {
            no_value();
            o.no_log = true;
        } else if (arg == "--dsn") {
            o.dsns.push_back(value());
        } else if (arg == "--user") {
            o.user = value();
            if (o.user->empty()) throw UsageError{"--user needs a user name"};
        } else if (arg == "--report") {
            const std::string v = value();
            if (v != "text" && v != "json") throw UsageError{"--report takes text or json, not \"" + v + "\""};
            o.json_report = v == "json";
        } else if (arg == "--command-timeout") {
            o.command_timeout = parse_seconds(arg, value());
        } else if (arg == "--login-timeout") {
            o.login_timeout = parse_seconds(arg, value());
        } else if (arg == "--script") {
            set_mode(Options::Mode::Script, arg);
            const std::string v = value();
            if (v == "sqlserver") o.engine = Engine::SqlServer;
            else if (v == "pervasive") o.engine = Engine::Pervasive;
            else throw UsageError{"--script takes sqlserver or pervasive, not \"" + v + "\""};
        } else if (arg == "--format") {
            const std::string v = value();
            if (v != "text" && v != "json") throw UsageError{"--format takes text or json, not \"" + v + "\""};
            o.format = v == "json" ? DryRunFormat::Json : DryRunFormat::Text;
            o.format_given = true;
        } else {
            throw UsageError{"unknown option \"" + args[i] + "\""};
        }
    }
    const bool run_options = !o.dsns.empty() || o.json_report || o.command_timeout || o.login_timeout;
    if (run_options && o.mode != Options::Mode::Run && o.mode != Options::Mode::Check)
        throw UsageError{"--dsn, --report, --command-timeout and --login-timeout go with --run or --check"};
    if (o.user && o.mode != Options::Mode::Run && o.mode != Options::Mode::Check)
        throw UsageError{"--user goes with --run or --check"};
    if (o.format_given && o.mode != Options::Mode::Script) throw UsageError{"--format goes with --script"};
    if ((o.log_file || o.no_log) && o.mode != Options::Mode::Run) throw UsageError{"--log and --no-log go with --run"};
    if (o.log_file && o.no_log) throw UsageError{"--log and --no-log cannot be combined"};
    if (o.all && o.mode != Options::Mode::List) throw UsageError{"--all goes with --list"};
    if (o.mode == Options::Mode::None) throw UsageError{"no command given"};
    return o;
}

// Keeps the data sources named on the command line, in discovery order.
DataSourceLists select(const DataSourceLists& all, const std::vector<std::string>& wanted) {
    if (wanted.empty()) return all;
    for (const auto& name : wanted) {
        auto known = [&](const std::vector<std::string>& list) {
            return std::any_of(list.begin(), list.end(), [&](const std::string& n) { return equals_ignoring_case(n, name); });
        };
        if (!known(all.sqlserver) && !known(all.pervasive))
            throw UsageError{"no data source named \"" + name + "\" is listed for an upgrade (see --list)"};
    }
    auto keep = [&](const std::vector<std::string>& list) {
        std::vector<std::string> out;
        for (const auto& n : list)
            if (std::any_of(wanted.begin(), wanted.end(), [&](const std::string& w) { return equals_ignoring_case(n, w); }))
                out.push_back(n);
        return out;
    };
    return {keep(all.sqlserver), keep(all.pervasive)};
}

// --user NAME: the login for every data source the run visits, its password
// from SELVANE_SP_PASSWORD or the terminal.
struct NoPassword {};
void set_login(const Options& o, CliContext& context, RunSettings& settings) {
    if (!o.user) return;
    auto password = context.password_for_user ? context.password_for_user("Password for " + *o.user + ": ")
                                              : std::nullopt;
    if (!password) throw NoPassword{};
    settings.user = *o.user;
    settings.password = std::move(*password);
    odbc::wipe(*password);
}

std::string command_line_text(const std::vector<std::string>& args) {
    std::string text = "command line: selvane-sp";
    for (const auto& a : args) text += " " + a;
    return text;
}

void list_data_sources(const Options& o, CliContext& context) {
    if (!o.all) {
        const DataSourceLists lists = discover_data_sources(context.enumerator);
        for (const auto& n : lists.sqlserver) context.out << "sqlserver\t" << one_line(n) << "\n";
        for (const auto& n : lists.pervasive) context.out << "pervasive\t" << one_line(n) << "\n";
        return;
    }
    for (const auto& v : explain_data_sources(context.enumerator))
        context.out << (v.engine.empty() ? "-" : v.engine) << "\t" << one_line(v.entry.name) << "\t"
                    << one_line(v.entry.description) << "\t" << (v.note.empty() ? "listed" : v.note) << "\n";
}

int run(const Options& o, const std::vector<std::string>& args, CliContext& context) {
    const auto started = std::chrono::system_clock::now();
    const DataSourceLists lists = select(discover_data_sources(context.enumerator), o.dsns);
    if (lists.sqlserver.empty() && lists.pervasive.empty()) {
        context.err << nothing_found_message() << "\n";
        return kExitNothingFound;
    }
    RunSettings settings;
    set_login(o, context, settings);
    odbc::WipeOnExit wipe_password(settings.password);

    LockAttempt lock;
    if (context.lock_for_run) {
        lock = context.lock_for_run();
        if (lock.busy) {
            context.err << "selvane-sp: " << lock.message << "\n";
            return kExitBusy;
        }
        // A lock that cannot be taken at all does not stop the upgrade.
        if (!lock.held) context.err << "selvane-sp: warning: " << lock.message << "\n";
    }

    OpenedLog opened;
    if (!o.no_log && context.open_log) {
        opened = context.open_log(o.log_file, started);
        if (!opened.file) context.err << "selvane-sp: warning: " << opened.error << "; the run goes on without a log\n";
    }
    RunLog log(opened.file.get());
    log.start(started, command_line_text(args));

    if (o.command_timeout) settings.command_timeout_s = *o.command_timeout;
    if (o.login_timeout) settings.sqlserver_login_timeout_s = settings.pervasive_login_timeout_s = *o.login_timeout;
    std::unique_ptr<InterruptWatcher> interrupts;
    if (context.handle_signals) {
        interrupts = std::make_unique<InterruptWatcher>();
        settings.stop = &interrupts->stop_flag();
        settings.on_session = [w = interrupts.get()](Session* s) { w->set_session(s); };
    }
    settings.on_data_source_done = [&log](const DataSourceReport& ds) { log.data_source(ds); };

    // With a JSON report, standard output carries the report alone.
    ConsoleView view(o.json_report ? context.err : context.out, context.err,
                     context.out_is_terminal && !o.json_report);
    if (context.terminal_columns) view.set_width_source(context.terminal_columns);
    const RunReport report = run_upgrade(lists, context.connector, view, settings);
    const bool terminated = interrupts && interrupts->signal_received() == SIGTERM;
    interrupts.reset();
    log.finish(report);
    std::string log_path;
    if (opened.file && log.failed())
        context.err << "selvane-sp: warning: the run log " << opened.path << " could not be written in full\n";
    else if (opened.file)
        log_path = opened.path;
    if (o.json_report)
        print_report_json(report, context.out, log_path);
    else
        print_report_text(report, context.out, log_path);
    context.out << std::flush;
    if (report.interrupted && terminated) return kExitTerminated;
    return exit_status(report);
}

// The read-only check: the same data sources, timeouts and interrupts as a run.
int check(const Options& o, CliContext& context) {
    const DataSourceLists lists = select(discover_data_sources(context.enumerator), o.dsns);
    if (lists.sqlserver.empty() && lists.pervasive.empty()) {
        context.err << nothing_found_message(true) << "\n";
        return kExitNothingFound;
    }
    RunSettings settings;
    set_login(o, context, settings);
    odbc::WipeOnExit wipe_password(settings.password);
    if (o.command_timeout) settings.command_timeout_s = *o.command_timeout;
    if (o.login_timeout) settings.sqlserver_login_timeout_s = settings.pervasive_login_timeout_s = *o.login_timeout;
    std::unique_ptr<InterruptWatcher> interrupts;
    if (context.handle_signals) {
        interrupts = std::make_unique<InterruptWatcher>();
        settings.stop = &interrupts->stop_flag();
        settings.on_session = [w = interrupts.get()](Session* s) { w->set_session(s); };
    }
    const CheckReport report = check_data_sources(lists, context.connector, settings);
    const bool terminated = interrupts && interrupts->signal_received() == SIGTERM;
    interrupts.reset();
    if (o.json_report)
        print_check_json(report, context.out);
    else
        print_check_text(report, context.out);
    context.out << std::flush;
    const int status = check_exit_status(report);
    return status == kExitInterrupted && terminated ? kExitTerminated : status;
}

}  // namespace

std::string usage_text() {
    return std::string("Usage: selvane-sp [OPTION]...\n") +
           "Upgrades every Selvane database among the machine's ODBC data sources (names starting with \"sv\",\n"
           "drivers \"SQL Server\", \"Pervasive ODBC Engine Interface\", \"Pervasive ODBC Client Interface\")\n"
           "to the table structures of version 5.4.0. Without options it opens its window.\n"
           "\n"
           "  --version                 print the version and exit\n"
           "  --help                    print this help and exit\n"
           "  --list                    print the data sources a run would visit: ENGINE<TAB>NAME\n"
           "    --all                   every data source: ENGINE<TAB>NAME<TAB>DRIVER<TAB>why left out\n"
           "  --run                     upgrade without a window; a report follows on standard output\n"
           "    --dsn NAME              only this data source (repeatable; case ignored)\n"
           "    --user NAME             log in as NAME to every data source visited; the password is read\n"
           "                            from SELVANE_SP_PASSWORD, or typed at the terminal without echo\n"
           "    --report text|json      the report's form (default text)\n"
           "    --command-timeout SECS  limit for one statement (default 30; 0: none)\n"
           "    --login-timeout SECS    limit for connecting (default 2400 SQL Server, 15 Pervasive; 0: none)\n"
           "    --log FILE              write the run log to FILE instead of the log folder\n"
           "    --no-log                write no run log\n"
           "  --check                   report what a run would change on each data source; changes nothing;\n"
           "                            takes --dsn, --report and the timeouts as --run does\n"
           "  --script sqlserver|pervasive\n"
           "                            print what a run sends to such a data source; connects to nothing\n"
           "    --format text|json      a readable script (default) or JSON Lines\n"
           "\n"
           "Exit status of --run: 0 done without failure, 1 a failure was reported, 2 usage error,\n"
           "3 a data source could not be connected, was refused, or its connection was lost,\n"
           "4 no data source to update, 5 another run is under way, 130 interrupted (SIGINT),\n"
           "143 stopped by SIGTERM.\n"
           "Exit status of --check: 0 every data source up to date, 1 one needs the update, 2 usage error,\n"
           "3 one could not be connected or checked, or is not the product's database, 4 no data source\n"
           "to check, 130 interrupted.\n"
           "Run logs: $XDG_STATE_HOME/selvane-sp/ (else ~/.local/state/selvane-sp/), the last 50 kept.\n";
}

std::string nothing_found_message(bool check) {
    return std::string("selvane-sp: no data source to ") + (check ? "check" : "update") + ": none is named \"sv...\" with the driver \"SQL Server\" or a "
           "Pervasive driver (see 'selvane-sp --list --all' for every data source and why it was left out)";
}

std::optional<int> run_command_line(const std::vector<std::string>& args, CliContext& context) {
    if (args.empty()) return std::nullopt;
    try {
        const Options o = parse(args);
        switch (o.mode) {
            case Options::Mode::Version:
                context.out << kAppTitle << " " << kFileVersion << "\n";
                return kExitOk;
            case Options::Mode::Help:
                context.out << usage_text();
                return kExitOk;
            case Options::Mode::List:
                list_data_sources(o, context);
                return kExitOk;
            case Options::Mode::Script:
                print_dry_run(o.engine, o.format, context.out);
                return kExitOk;
            case Options::Mode::Run:
                return run(o, args, context);
            case Options::Mode::Check:
                return check(o, context);
            case Options::Mode::None:
                break;
        }
    } catch (const NoPassword&) {
        context.err << "selvane-sp: --user needs a password: set SELVANE_SP_PASSWORD, or run it from a terminal "
                       "to type the password\n";
        return kExitUsage;
    } catch (const UsageError& e) {
        context.err << "selvane-sp: " << one_line(e.message) << "\nTry 'selvane-sp --help'.\n";
        return kExitUsage;
    }
    return kExitUsage;
}

}  // namespace sp

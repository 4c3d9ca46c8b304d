#include "cli/cli.h"

#include <algorithm>
#include <cctype>
#include <climits>
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

int run(const Options& o, CliContext& context) {
    const DataSourceLists lists = select(discover_data_sources(context.enumerator), o.dsns);

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

    // With a JSON report, standard output carries the report alone.
    ConsoleView view(o.json_report ? context.err : context.out, context.err,
                     context.out_is_terminal && !o.json_report);
    const RunReport report = run_upgrade(lists, context.connector, view, settings);
    interrupts.reset();
    if (o.json_report)
        print_report_json(report, context.out);
    else
        print_report_text(report, context.out);
    context.out << std::flush;
    return exit_status(report);
}

// The read-only check: the same data sources, timeouts and interrupts as a run.
int check(const Options& o, CliContext& context) {
    const DataSourceLists lists = select(discover_data_sources(context.enumerator), o.dsns);
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
    interrupts.reset();
    if (o.json_report)
        print_check_json(report, context.out);
    else
        print_check_text(report, context.out);
    context.out << std::flush;
    return check_exit_status(report);
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
           "  --run                     upgrade without a window; a report follows on standard output\n"
           "    --dsn NAME              only this data source (repeatable; case ignored)\n"
           "    --user NAME             log in as NAME to every data source visited; the password is read\n"
           "                            from SELVANE_SP_PASSWORD, or typed at the terminal without echo\n"
           "    --report text|json      the report's form (default text)\n"
           "    --command-timeout SECS  limit for one statement (default 30; 0: none)\n"
           "    --login-timeout SECS    limit for connecting (default 2400 SQL Server, 15 Pervasive; 0: none)\n"
           "  --check                   report what a run would change on each data source; changes nothing;\n"
           "                            takes --dsn, --report and the timeouts as --run does\n"
           "  --script sqlserver|pervasive\n"
           "                            print what a run sends to such a data source; connects to nothing\n"
           "    --format text|json      a readable script (default) or JSON Lines\n"
           "\n"
           "Exit status of --run: 0 done without failure, 1 a failure was reported, 2 usage error,\n"
           "3 a data source could not be connected, was refused, or its connection was lost, 130 interrupted.\n"
           "Exit status of --check: 0 every data source up to date, 1 one needs the update, 2 usage error,\n"
           "3 one could not be connected or checked, or is not the product's database, 130 interrupted.\n";
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
            case Options::Mode::List: {
                const DataSourceLists lists = discover_data_sources(context.enumerator);
                for (const auto& n : lists.sqlserver) context.out << "sqlserver\t" << one_line(n) << "\n";
                for (const auto& n : lists.pervasive) context.out << "pervasive\t" << one_line(n) << "\n";
                return kExitOk;
            }
            case Options::Mode::Script:
                print_dry_run(o.engine, o.format, context.out);
                return kExitOk;
            case Options::Mode::Run:
                return run(o, context);
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
        context.err << "selvane-sp: " << e.message << "\n" << usage_text();
        return kExitUsage;
    }
    return kExitUsage;
}

}  // namespace sp

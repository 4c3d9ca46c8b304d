#include "discovery/discovery.h"

#include <algorithm>
#include <cctype>

namespace sp {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

namespace {

// One pass over the data sources for one engine: the names whose driver is
// the first or second driver name and that start with the product prefix.
// The list that receives them follows from the first driver name.
void discover(const std::vector<DataSourceEntry>& entries, std::string_view first, std::string_view second,
              DataSourceLists& lists) {
    std::vector<std::string>* target = nullptr;
    if (equals_ignoring_case(first, "SQL Server"))
        target = &lists.sqlserver;
    else if (equals_ignoring_case(first, "Pervasive ODBC Engine Interface") || equals_ignoring_case(first, "Pervasive ODBC Client Interface"))
        target = &lists.pervasive;
    for (const auto& e : entries) {
        const bool driver_matches = equals_ignoring_case(e.description, first) || equals_ignoring_case(e.description, second);
        const bool prefix_matches = e.name.size() >= 2 && equals_ignoring_case(std::string_view(e.name).substr(0, 2), "sv");
        if (driver_matches && prefix_matches && target) target->push_back(e.name);
    }
}

}  // namespace

bool has_forbidden_character(std::string_view name) {
    return name.find_first_of(kForbiddenDsnCharacters) != std::string_view::npos;
}

std::vector<DataSourceVerdict> explain_data_sources(DataSourceEnumerator& enumerator) {
    const std::vector<DataSourceEntry> entries = enumerator.list();
    std::vector<DataSourceVerdict> out;
    for (const auto& e : entries) {
        // The same passes as a run's discovery, one entry at a time.
        DataSourceLists one;
        discover({e}, "SQL Server", "", one);
        discover({e}, "Pervasive ODBC Engine Interface", "Pervasive ODBC Client Interface", one);
        DataSourceVerdict v{e, !one.sqlserver.empty() ? "sqlserver" : !one.pervasive.empty() ? "pervasive" : "", ""};
        const bool prefix = e.name.size() >= 2 && equals_ignoring_case(std::string_view(e.name).substr(0, 2), "sv");
        if (v.engine.empty()) {
            if (!prefix)
                v.note = "left out: the name does not start with \"sv\"";
            else if (e.description.find_first_of("/\\") != std::string::npos)
                v.note = "left out: its driver is given as a library path; give the driver a section named "
                         "\"SQL Server\" (or a Pervasive driver name) in odbcinst.ini and name that section here";
            else
                v.note = "left out: the driver \"" + e.description +
                         "\" is none of \"SQL Server\", \"Pervasive ODBC Engine Interface\", "
                         "\"Pervasive ODBC Client Interface\"";
        } else if (e.name.size() > kMaxDsnLength) {
            v.note = "refused by a run: the name is longer than the " + std::to_string(kMaxDsnLength) +
                     " characters ODBC allows";
        } else if (has_forbidden_character(e.name)) {
            v.note = std::string("refused by a run: the name holds a character ODBC does not allow (") +
                     kForbiddenDsnCharacters + ")";
        }
        out.push_back(std::move(v));
    }
    return out;
}

DataSourceLists discover_data_sources(DataSourceEnumerator& enumerator) {
    const std::vector<DataSourceEntry> entries = enumerator.list();
    DataSourceLists lists;
    discover(entries, "SQL Server", "", lists);
    discover(entries, "Pervasive ODBC Engine Interface", "Pervasive ODBC Client Interface", lists);
    return lists;
}

}  // namespace sp

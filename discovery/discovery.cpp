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

DataSourceLists discover_data_sources(DataSourceEnumerator& enumerator) {
    const std::vector<DataSourceEntry> entries = enumerator.list();
    DataSourceLists lists;
    discover(entries, "SQL Server", "", lists);
    discover(entries, "Pervasive ODBC Engine Interface", "Pervasive ODBC Client Interface", lists);
    return lists;
}

}  // namespace sp

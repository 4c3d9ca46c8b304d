// Which databases a run touches: the machine's ODBC data sources whose name
// starts with "sv" and whose driver is one of the product's drivers, in the
// order in which the driver manager returns them.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace sp {

// One data source as the driver manager lists it.
struct DataSourceEntry {
    std::string name;
    std::string description;  // unixODBC: the Driver= value of odbc.ini
};

// The machine's data sources, in the driver manager's order. The real one
// asks SQLDataSources; tests may hand in a fixed list.
class DataSourceEnumerator {
public:
    virtual ~DataSourceEnumerator() = default;
    virtual std::vector<DataSourceEntry> list() = 0;
};

struct DataSourceLists {
    std::vector<std::string> sqlserver;  // in the driver manager's order
    std::vector<std::string> pervasive;
};

// Data-source and driver names are compared without regard to letter case.
bool equals_ignoring_case(std::string_view a, std::string_view b);

// Both lists, as the window fills them when it loads.
DataSourceLists discover_data_sources(DataSourceEnumerator& enumerator);

// ODBC's SQL_MAX_DSN_LENGTH: unixODBC fails a longer name only once it is
// used, with a message that does not say why.
inline constexpr std::size_t kMaxDsnLength = 32;
// Characters that ODBC forbids in a data-source name. With them a name could
// add attributes to "DSN=<name>" (unixODBC accepts a DSN named "sv01;Database=x").
inline constexpr const char* kForbiddenDsnCharacters = "[]{}(),;?*=!@\\";
bool has_forbidden_character(std::string_view name);

// Every data source the driver manager has, and what discovery makes of it.
struct DataSourceVerdict {
    DataSourceEntry entry;
    std::string engine;  // "sqlserver" or "pervasive" when listed; empty when left out
    std::string note;    // why it was left out, or why a run would refuse it; empty otherwise
};
std::vector<DataSourceVerdict> explain_data_sources(DataSourceEnumerator& enumerator);

}  // namespace sp

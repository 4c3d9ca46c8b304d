// Which databases a run touches: the machine's ODBC data sources whose name
// starts with "sv" and whose driver is one of the product's drivers, in the
// order in which the driver manager returns them.
#pragma once

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

}  // namespace sp

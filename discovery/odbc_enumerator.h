// The machine's data sources as the ODBC driver manager lists them
// (SQLDataSources), user data sources first, then system data sources.
#pragma once

#include <cstddef>

#include "discovery/discovery.h"

namespace sp {

class OdbcDataSourceEnumerator : public DataSourceEnumerator {
public:
    // initial_buffer: the characters first offered for a name and for a
    // description; a longer one makes the enumeration start again with room
    // for it, so that no name is ever listed cut short.
    explicit OdbcDataSourceEnumerator(std::size_t initial_buffer = 1024) : initial_buffer_(initial_buffer) {}

    // Every data source, in the driver manager's order. A failure of the
    // driver manager ends the list where it happened (nothing is reported).
    std::vector<DataSourceEntry> list() override;

private:
    std::size_t initial_buffer_;
};

}  // namespace sp

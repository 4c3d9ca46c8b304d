#include "discovery/odbc_enumerator.h"

#include <algorithm>
#include <optional>

#include "odbc/handles.h"

namespace sp {

namespace {

// SQLDataSources takes 16-bit buffer lengths.
constexpr std::size_t kLargestBuffer = 32767;

// One pass over the data sources with buffers of the given size; nullopt when
// an entry did not fit (and the buffers can still grow).
std::optional<std::vector<DataSourceEntry>> enumerate(std::size_t buffer) {
    std::vector<DataSourceEntry> entries;
    // A fresh environment each pass: SQL_FETCH_NEXT on the first call starts
    // from the first data source. The handle frees it when the pass ends.
    auto env = odbc::allocate_environment();
    if (!env) return entries;
    std::vector<SQLCHAR> name(buffer), description(buffer);
    for (;;) {
        SQLSMALLINT name_length = 0, description_length = 0;
        auto r = SP_ODBC_CALL(env->diag(), SQLDataSources, env->get(), SQL_FETCH_NEXT, name.data(),
                              static_cast<SQLSMALLINT>(name.size()), &name_length, description.data(),
                              static_cast<SQLSMALLINT>(description.size()), &description_length);
        if (!r || *r == SQL_NO_DATA) return entries;
        // SQL_SUCCESS_WITH_INFO is still a data source; it only says more,
        // e.g. that a text was cut, which the lengths tell.
        const bool cut = name_length >= static_cast<SQLSMALLINT>(buffer) ||
                         description_length >= static_cast<SQLSMALLINT>(buffer);
        if (cut) {
            if (buffer < kLargestBuffer) return std::nullopt;
            continue;  // cannot be read whole: left out rather than listed wrong
        }
        entries.push_back({std::string(reinterpret_cast<const char*>(name.data()), static_cast<std::size_t>(name_length)),
                           std::string(reinterpret_cast<const char*>(description.data()),
                                       static_cast<std::size_t>(description_length))});
    }
}

}  // namespace

std::vector<DataSourceEntry> OdbcDataSourceEnumerator::list() {
    std::size_t buffer = std::clamp<std::size_t>(initial_buffer_, 2, kLargestBuffer);
    for (;;) {
        if (auto entries = enumerate(buffer)) return std::move(*entries);
        buffer = std::min(buffer * 4, kLargestBuffer);
    }
}

}  // namespace sp

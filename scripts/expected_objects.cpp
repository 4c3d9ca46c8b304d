#include "scripts/expected_objects.h"

#include <algorithm>
#include <cctype>
#include <string_view>

namespace sp {

namespace {

bool same_name(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// Reads statements word by word; a name ends at a blank, "(", "," or ";".
class Words {
public:
    explicit Words(std::string_view text) : rest_(text) {}

    std::string_view next() {
        while (!rest_.empty() && std::isspace(static_cast<unsigned char>(rest_.front()))) rest_.remove_prefix(1);
        std::size_t end = 0;
        while (end < rest_.size() && !std::isspace(static_cast<unsigned char>(rest_[end])) &&
               std::string_view("(,;").find(rest_[end]) == std::string_view::npos)
            ++end;
        std::string_view word = rest_.substr(0, end);
        rest_.remove_prefix(end);
        return word;
    }
    // True, and the words consumed, when the next words are `expected`, in any case.
    bool take(std::initializer_list<std::string_view> expected) {
        Words copy = *this;
        for (std::string_view word : expected)
            if (!same_name(copy.next(), word)) return false;
        *this = copy;
        return true;
    }
    // The next word as a bare object name: "[dbo].[Quote]", "dbo.udfFormatNum" and "Quote" are "Quote".
    std::string name() {
        std::string word(next());
        std::erase_if(word, [](char c) { return c == '[' || c == ']'; });
        if (auto dot = word.rfind('.'); dot != std::string::npos) word.erase(0, dot + 1);
        return word;
    }

private:
    std::string_view rest_;
};

void add_once(std::vector<std::string>& list, const std::string& name) {
    if (std::none_of(list.begin(), list.end(), [&](const std::string& n) { return same_name(n, name); }))
        list.push_back(name);
}

bool same_column(const TableColumn& a, const TableColumn& b) {
    return same_name(a.table, b.table) && same_name(a.column, b.column);
}

// Moves the column to `into` (once) and out of `from`: the later statement decides.
void settle(std::vector<TableColumn>& into, std::vector<TableColumn>& from, const TableColumn& column) {
    std::erase_if(from, [&](const TableColumn& c) { return same_column(c, column); });
    if (std::none_of(into.begin(), into.end(), [&](const TableColumn& c) { return same_column(c, column); }))
        into.push_back(column);
}

}  // namespace

ExpectedObjects derive_expected_objects(const std::vector<Script>& phases) {
    ExpectedObjects objects;
    std::vector<std::string> altered;
    for (const Script& phase : phases)
        for (const ScriptStep& step : phase.steps) {
            if (step.kind != ScriptStep::Kind::Statement) continue;
            Words words(step.sql);
            if (words.take({"CREATE", "TABLE"})) {
                add_once(objects.created_tables, words.name());
            } else if (words.take({"CREATE", "PROCEDURE"}) || words.take({"CREATE", "FUNCTION"})) {
                add_once(objects.routines, words.name());
            } else if (words.take({"ALTER", "TABLE"})) {
                const std::string table = words.name();
                add_once(altered, table);
                if (words.take({"DROP", "COLUMN"})) {
                    settle(objects.dropped_columns, objects.added_columns, {table, words.name()});
                } else if (words.take({"ADD"}) && !words.take({"CONSTRAINT"})) {
                    settle(objects.added_columns, objects.dropped_columns, {table, words.name()});
                }
            }
        }
    for (const std::string& table : altered)
        if (std::none_of(objects.created_tables.begin(), objects.created_tables.end(),
                         [&](const std::string& t) { return same_name(t, table); }))
            objects.product_tables.push_back(table);
    return objects;
}

const ExpectedObjects& expected_objects(Engine engine) {
    static const ExpectedObjects sqlserver = derive_expected_objects(phases_of(Engine::SqlServer));
    static const ExpectedObjects pervasive = derive_expected_objects(phases_of(Engine::Pervasive));
    return engine == Engine::SqlServer ? sqlserver : pervasive;
}

}  // namespace sp

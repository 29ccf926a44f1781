#pragma once
// The prepared statements of one SQLite connection, keyed by their exact
// UTF-8 text and kept in least-recently-used order. An import runs the same
// few lookups hundreds of thousands of times; preparing each once saves most
// of SQLite's work. The cache owns its statements and must go before the
// connection they belong to.

#include <sqlite3.h>

#include <cstddef>
#include <list>
#include <memory>
#include <string>
#include <unordered_map>

namespace db {

struct StatementFinalizer {
    void operator()(sqlite3_stmt* statement) const { sqlite3_finalize(statement); }
};
using StatementHandle = std::unique_ptr<sqlite3_stmt, StatementFinalizer>;

class StatementCache {
public:
    explicit StatementCache(std::size_t capacity = 64) : FCapacity(capacity) {}

    // The cached statement for this text, reset and with its bindings
    // cleared, now the most recently used; nullptr when not cached.
    sqlite3_stmt* Find(const std::string& text);

    // Takes a fresh statement in, dropping the least recently used one when
    // the cache is full. Returns the statement, which the cache keeps.
    sqlite3_stmt* Insert(const std::string& text, StatementHandle statement);

    std::size_t size() const { return FEntries.size(); }
    std::size_t capacity() const { return FCapacity; }

private:
    using Entry = std::pair<std::string, StatementHandle>;
    std::size_t FCapacity;
    std::list<Entry> FEntries; // most recently used first
    std::unordered_map<std::string, std::list<Entry>::iterator> FIndex;
};

} // namespace db

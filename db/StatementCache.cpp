#include "db/StatementCache.h"

namespace db {

sqlite3_stmt* StatementCache::Find(const std::string& text) {
    const auto found = FIndex.find(text);
    if (found == FIndex.end())
        return nullptr;
    FEntries.splice(FEntries.begin(), FEntries, found->second);
    sqlite3_stmt* statement = found->second->second.get();
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return statement;
}

sqlite3_stmt* StatementCache::Insert(const std::string& text, StatementHandle statement) {
    if (const auto found = FIndex.find(text); found != FIndex.end()) {
        FEntries.erase(found->second);
        FIndex.erase(found);
    }
    while (!FEntries.empty() && FEntries.size() >= FCapacity) {
        FIndex.erase(FEntries.back().first);
        FEntries.pop_back();
    }
    FEntries.emplace_front(text, std::move(statement));
    FIndex[text] = FEntries.begin();
    return FEntries.front().second.get();
}

} // namespace db

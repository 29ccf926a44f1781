#include "db/StatementTrace.h"

namespace db {
namespace {
StatementObserver& Observer() {
    static StatementObserver observer;
    return observer;
}
} // namespace

StatementObserver SetStatementObserver(StatementObserver observer) {
    StatementObserver previous = std::move(Observer());
    Observer() = std::move(observer);
    return previous;
}

void TraceStatement(const std::string& statement) {
    if (const auto& observer = Observer())
        observer(statement);
}

} // namespace db

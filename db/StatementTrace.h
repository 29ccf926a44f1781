#pragma once
// An observer of every statement the engine runs, as its text arrived
// (Windows-1250), in the order they run. Tests record statements with it and
// the import benchmark counts them; nothing observes in normal use.

#include <functional>
#include <string>

namespace db {

using StatementObserver = std::function<void(const std::string& statement)>;

// Installs the observer (an empty one removes it) and returns the previous one.
StatementObserver SetStatementObserver(StatementObserver observer);

// Called by the driver for each statement just before it runs.
void TraceStatement(const std::string& statement);

} // namespace db

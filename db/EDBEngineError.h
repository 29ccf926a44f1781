#pragma once
// A failure reported by the engine itself: an unknown alias, a database file
// that cannot be opened, a statement the driver rejects. The message is the
// driver's own text, in Windows-1250 like every other text of the program.

#include "db/EDatabaseError.h"

namespace db {

class EDBEngineError : public EDatabaseError {
public:
    // errorCode is the driver's numeric code (SQLite's result code), 0 when
    // the failure did not come from the driver.
    explicit EDBEngineError(std::string message, int errorCode = 0)
        : EDatabaseError(std::move(message)), FErrorCode(errorCode) {}
    int ErrorCode() const noexcept { return FErrorCode; }

private:
    int FErrorCode;
};

} // namespace db

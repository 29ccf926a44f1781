#pragma once
// A misuse of the engine's objects: an operation the object's state forbids
// (a closed data set, an active session), a name that finds nothing.

#include "platform/Exception.h"

namespace db {

class EDatabaseError : public platform::Exception {
public:
    using platform::Exception::Exception;
};

} // namespace db

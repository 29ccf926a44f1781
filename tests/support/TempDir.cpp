#include "tests/support/TempDir.h"

#include "platform/FileServices.h"
#include "platform/Win1250.h"

#include <cstdlib>
#include <stdexcept>

namespace testsupport {

TempDir::TempDir() {
    if (!FDir.isValid())
        throw std::runtime_error("cannot create a temporary directory");
    FPath = platform::FromQString(FDir.path());
}

ScopedEnv::ScopedEnv(const char* name, std::optional<std::string> value) : FName(name) {
    if (const char* old = std::getenv(name))
        FOld = old;
    if (value)
        ::setenv(name, platform::SystemPath(*value).c_str(), 1);
    else
        ::unsetenv(name);
}

ScopedEnv::~ScopedEnv() {
    if (FOld)
        ::setenv(FName.c_str(), FOld->c_str(), 1);
    else
        ::unsetenv(FName.c_str());
}

} // namespace testsupport

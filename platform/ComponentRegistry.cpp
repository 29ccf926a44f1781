#include "platform/ComponentRegistry.h"

namespace platform {
namespace {
std::vector<ComponentClass>& Registry() {
    static std::vector<ComponentClass> registry;
    return registry;
}
} // namespace

void RegisterComponentClass(ComponentClass componentClass) {
    // Registering a class again replaces its entry, as the designer does.
    for (auto& entry : Registry())
        if (entry.className == componentClass.className) {
            entry = std::move(componentClass);
            return;
        }
    Registry().push_back(std::move(componentClass));
}

const std::vector<ComponentClass>& RegisteredComponentClasses() {
    return Registry();
}

const ComponentClass* FindComponentClass(const std::string& className) {
    for (const auto& entry : Registry())
        if (entry.className == className)
            return &entry;
    return nullptr;
}

} // namespace platform

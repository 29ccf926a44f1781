#pragma once
// The palette of component classes, by page, as the form designer would show
// it. There is no designer here; the registry lets a form description name
// a component class and have it built.

#include <functional>
#include <string>
#include <vector>

class QObject;

namespace platform {

struct ComponentClass {
    std::string page;
    std::string className;
    std::function<QObject*(QObject* owner)> create;
};

void RegisterComponentClass(ComponentClass componentClass);
const std::vector<ComponentClass>& RegisteredComponentClasses();
const ComponentClass* FindComponentClass(const std::string& className);

} // namespace platform

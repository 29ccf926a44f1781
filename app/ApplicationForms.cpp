#include "app/ApplicationForms.h"

#include "app/Main.h"
#include "login/Logowanie.h"

namespace app {

ApplicationForms::ApplicationForms() : FMainForm(std::make_unique<TFMain>()) {
    FMain = FMainForm.get();
    FLoginForm = std::make_unique<TFLogowanie>(FMain->TPersonel);
    FLogowanie = FLoginForm.get();
}

ApplicationForms::~ApplicationForms() {
    FLogowanie = nullptr;
    FLoginForm.reset();
    FMain = nullptr;
    FMainForm.reset();
}

} // namespace app

#pragma once
// Qt's own Polish texts (the standard buttons of message boxes, the edit
// boxes' context menu), installed for the whole application whatever the
// system's locale says: the interface is Polish by design. The program's own
// texts are Polish already and are not translated.

#include <QString>

#include <memory>

class QTranslator;

namespace app {

class QtTranslation {
public:
    // Loads qtbase_pl from Qt's translations directory and installs it; a
    // missing or unreadable file leaves Qt's English texts and is reported
    // by Loaded() and Problem(). Needs the application object.
    QtTranslation();
    // Removes the translation again.
    ~QtTranslation();
    QtTranslation(const QtTranslation&) = delete;
    QtTranslation& operator=(const QtTranslation&) = delete;

    bool Loaded() const { return FLoaded; }
    // Why the texts stay English, naming the file looked for; empty when
    // loaded.
    QString Problem() const;

    // Where Qt's translations are looked for.
    static QString Directory();

private:
    std::unique_ptr<QTranslator> FTranslator;
    bool FLoaded = false;
};

} // namespace app

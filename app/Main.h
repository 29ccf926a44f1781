#pragma once
// The main window: it owns the engine session, the connection, the query and
// the staff table that the rest of the program works through, and the wait
// window. Its button starts the update run.

#include "db/WorkshopTables.h"

#include <QWidget>

#include <string>

class QLabel;
class QPushButton;
class TWaitMessage;

namespace db {
class TDatabase;
class TQuery;
class TSession;
class TTable;
} // namespace db

class TFMain : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kAliasName = db::kWorkshopAlias;
    // The row of UPGRADE that records this modification, and its fixed date
    // (12 June 2013, in the engine's month/day/year order).
    static constexpr const char* kMarkerName = "DBU_12062013";
    static constexpr const char* kMarkerDate = "06/12/2013";

    // Builds the window and its components from the description, then sets
    // the process-wide decimal separator to ".".
    explicit TFMain(QWidget* owner = nullptr);
    ~TFMain() override;

    // OnShow: prepares the session's directories from the alias.
    void FormShow(QObject* sender);
    // OnClick of Button1: the update run.
    void Button1Click(QObject* sender);

    // The directory an alias points to (its first parameter named exactly
    // "PATH", everything after the first "="), or empty text.
    static std::string GetAliasPath(const std::string& aliasName);

    // Components, in the order they are created; all owned by the window.
    QLabel* Label1 = nullptr;
    QPushButton* Button1 = nullptr;
    db::TSession* Session1 = nullptr;
    db::TDatabase* Database1 = nullptr;
    TWaitMessage* komunikat = nullptr;
    db::TQuery* Query1 = nullptr;
    db::TTable* TPersonel = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // Closing the main window ends the program, also in the middle of a run:
    // the wait window alone would keep the message loop going.
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // True while Button1Click runs.
    bool FRunning = false;
};

// The main window of the process, created first at start-up.
extern TFMain* FMain;

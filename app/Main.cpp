#include "app/Main.h"

#include "app/CatalogueDownload.h"
#include "app/CatalogueFile.h"
#include "app/CatalogueImport.h"
#include "db/EngineConfig.h"
#include "db/TDatabase.h"
#include "db/TQuery.h"
#include "db/TSession.h"
#include "db/TTable.h"
#include "db/WorkshopTables.h"
#include "login/Logowanie.h"
#include "platform/Application.h"
#include "platform/FileServices.h"
#include "platform/FormatSettings.h"
#include "platform/Forms.h"
#include "platform/Win1250.h"
#include "waitmessage/Waitmessage.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>
#include <QResizeEvent>

#include <algorithm>
#include <exception>
#include <memory>
#include <vector>

TFMain* FMain = nullptr;

namespace {

constexpr int kClientWidth = 544;
constexpr int kClientHeight = 142;
constexpr platform::TColor kWaitColor = 12442557; // 0xBDDBBD, a pale green
// Two blanks between "wczytanie" and "marek", as the window has always had.
constexpr const char* kCaption = "Pobranie i wczytanie  marek modeli i wersji";

// Button1 as designed. It is anchored to the left, right and bottom edges:
// these distances stay when the client area changes.
constexpr int kButtonLeft = 80;
constexpr int kButtonTop = 103;
constexpr int kButtonWidth = 385;
constexpr int kButtonHeight = 25;
constexpr int kButtonRight = kClientWidth - (kButtonLeft + kButtonWidth);
constexpr int kButtonBottom = kClientHeight - (kButtonTop + kButtonHeight);

} // namespace

TFMain::TFMain(QWidget* owner)
    : QWidget(owner, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint) {
    // Window: a fixed dialog border (no resizing, no minimise or maximise
    // box), sizes in pixels, centred when shown.
    setWindowTitle(platform::ToQString(kCaption));
    setFixedSize(kClientWidth, kClientHeight);
    platform::ApplyFormDefaults(this);

    Label1 = new QLabel(this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(24, 16, 315, 20);
    Label1->setFont(platform::SansSerif(17));
    Label1->setTextFormat(Qt::PlainText);
    Label1->setText(platform::ToQString(kCaption));
    // The label sizes itself to its text, as designed: where the design's
    // font is missing the substitute is wider, and the caption must not be
    // cut off.
    Label1->resize(std::max(Label1->width(), Label1->sizeHint().width()), Label1->height());

    Button1 = new QPushButton(this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(kButtonLeft, kButtonTop, kButtonWidth, kButtonHeight);
    Button1->setText(QStringLiteral("Rozpocznij"));
    // The focused button answers Enter as well as Space.
    Button1->setAutoDefault(true);
    Button1->setFocus();
    connect(Button1, &QPushButton::clicked, this,
            [this] { platform::Guard([this] { Button1Click(Button1); }); });

    Session1 = new db::TSession(this);
    Session1->setObjectName(QStringLiteral("Session1"));
    Session1->setSessionName("Kalvomer");
    Session1->setKeepConnections(false);
    Session1->setPrivateDir("./");

    Database1 = new db::TDatabase(this);
    Database1->setObjectName(QStringLiteral("Database1"));
    Database1->setAliasName(kAliasName);
    Database1->setDatabaseName("KALVOMER");
    Database1->setSessionName("Kalvomer");
    Database1->setKeepConnection(false);
    Database1->setLoginPrompt(false);
    Database1->setTransIsolation(db::tiDirtyRead);

    komunikat = new TWaitMessage(this);
    komunikat->setObjectName(QStringLiteral("komunikat"));
    komunikat->setPosition(platform::poScreenCenter);
    komunikat->setColor(kWaitColor);
    komunikat->setMessage("Czekaj cierpliwie ...");
    komunikat->setCursor(platform::crHourGlass);

    Query1 = new db::TQuery(this);
    Query1->setObjectName(QStringLiteral("Query1"));
    Query1->setDatabaseName("Kalvomer");
    Query1->setSessionName("Kalvomer");

    TPersonel = new db::TTable(this);
    TPersonel->setObjectName(QStringLiteral("TPersonel"));
    TPersonel->setTableName("Personel.DB");
    TPersonel->setDatabaseName("KALVOMER");
    TPersonel->setSessionName("Kalvomer");
    db::DeclarePersonelFields(*TPersonel);

    platform::SetDecimalSeparator('.');
}

TFMain::~TFMain() = default;

void TFMain::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!event->spontaneous()) {
        platform::ApplyPosition(this, platform::poScreenCenter);
        // The window is shown even when its OnShow handler fails.
        platform::Guard([this] { FormShow(this); });
    }
}

void TFMain::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    platform::Terminate();
}

void TFMain::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (Button1)
        Button1->setGeometry(kButtonLeft, height() - kButtonBottom - kButtonHeight,
                             width() - kButtonLeft - kButtonRight, kButtonHeight);
}

std::string TFMain::GetAliasPath(const std::string& aliasName) {
    // Through the engine's default session, not Session1.
    std::vector<std::string> params;
    db::DefaultSession().GetAliasParams(aliasName, params);
    return db::EngineConfig::Parameter(params, "PATH").value_or(std::string());
}

void TFMain::FormShow(QObject*) {
    const std::string path = GetAliasPath(kAliasName);
    Session1->setActive(false);
    // Not checked and not created: the engine makes what it needs there.
    Session1->setNetFileDir(path + "/NetDir");
    char buffer[512];
    if (platform::GetTempPathA(sizeof buffer, buffer) == 0)
        return;
    // The temporary path ends in "/", so the result holds a doubled
    // separator; it names the same directory.
    const std::string dir = std::string(buffer) + "/mmw";
    if (!platform::DirectoryExists(dir))
        platform::CreateDir(dir);
    Session1->setPrivateDir(dir);
}

void TFMain::Button1Click(QObject*) {
    // The run pumps messages while it downloads and imports. A second press
    // in the meantime must not start a run inside the run: the button is
    // off until this one ends, however it ends, and a call that arrives
    // another way is turned back too.
    if (FRunning)
        return;
    FRunning = true;
    Button1->setEnabled(false);
    struct RunEnd {
        TFMain* form;
        ~RunEnd() {
            form->Button1->setEnabled(true);
            // Turning it off took the focus away; the next try starts from
            // the keyboard again.
            form->Button1->setFocus();
            form->FRunning = false;
        }
    } runEnd{this};

    using platform::MessageBox;
    using platform::Pl;

    TPersonel->Open();
    if (!FLogowanie->Execute())
        return;

    // Two workstations running the update at once would both pass the
    // one-time guard and insert the same makes, models and versions twice.
    // The database's run lock is held from the guard to the end.
    if (!Database1->TryLockRun()) {
        MessageBox(Pl("Aktualizacja jest już wykonywana na innym stanowisku."), Pl("Błąd!"), 16);
        return;
    }
    struct RunLockEnd {
        db::TDatabase* database;
        ~RunLockEnd() { database->ReleaseRunLock(); }
    } runLockEnd{Database1};
    // The catalogue's commits are relaxed; only the marker's is durable. An
    // earlier run that failed at the marker left the connection durable.
    Database1->SetDurableCommits(false);

    Query1->setActive(false);
    Query1->setSQL(std::string("select * from UPGRADE where NAME = '") + kMarkerName + "'");
    Query1->Open();
    if (Query1->getRecordCount() != 0) {
        MessageBox(Pl("Modyfikację danych można przeprowadzić tylko jeden raz."), Pl("Błąd!"), 16);
        return;
    }

    try {
        if (MessageBox(Pl("Czy chcesz pobrać i wczytać aktualizację marek, modeli i wersji ?\n"
                          "(Przed wczytaniem należy wykonać kopie danych)"),
                       "Uwaga", 36) == platform::IDYES) {
            auto workQuery = std::make_unique<db::TQuery>(nullptr);
            workQuery->setDatabaseName(Database1->getDatabaseName());
            workQuery->setSessionName(Database1->getSessionName());

            komunikat->setMessage("Pobieram marki, modele i werjse\n");
            komunikat->setVisible(true);
            platform::ProcessMessages();

            const std::string target = app::CatalogueTarget();
            bool downloaded = false;
            try {
                app::DownloadCatalogue(app::UpdateAddress(), target);
                downloaded = true;
            } catch (...) {
                // Not reported: the import reads whatever file stands there.
            }

            komunikat->setMessage(app::TCatalogueImport::kReadingMessage);
            platform::ProcessMessages();
            const bool completed = app::TCatalogueImport(*workQuery, komunikat)
                                       .Run(app::CatalogueToImport(target, downloaded));

            if (completed) {
                workQuery->setActive(false);
                workQuery->setSQL(std::string("insert into UPGRADE (NAME, DATAWYK) values ('") +
                                  kMarkerName + "', '" + kMarkerDate + "')");
                // The marker forbids every later run: its own commit is the
                // durable step, so that it is on disk when the success box
                // shows, and nothing that could still fail comes between.
                Database1->SetDurableCommits(true);
                workQuery->ExecSQL();
                MessageBox(Pl("Operacja została przeprowadzona pomyślnie"), "Informacja", 64);
            }
        }
    } catch (const std::exception& e) {
        MessageBox(Pl("Wystąpił wyjątek podczas konwersji danych.\n") + e.what() + "\n" +
                       Pl("Konwersja danych będzie kontynuowana!\n") + Pl("Naciśnij OK!"),
                   "Uwaga", 48);
    }
    komunikat->setVisible(false);
}

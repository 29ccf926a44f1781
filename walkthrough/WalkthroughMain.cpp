// mmw-walkthrough <picture-dir> [identifier password]
// The update run on a machine without a display: builds the program's
// windows on Qt's offscreen platform and goes through the run as a person
// would (the demo administrator "ad" with password "1234" unless others are
// given), printing every box and wait text as it appears, then the row
// counts of the catalogue tables and UPGRADE. Every window met is saved as
// a PNG in <picture-dir>. The database and update server are the ones the
// program itself would use (DBENGINE_CONFIG, MMW_UPDATE_HOST).

#include "app/ApplicationForms.h"
#include "app/Main.h"
#include "app/QtTranslation.h"
#include "db/TDatabase.h"
#include "db/TField.h"
#include "db/TQuery.h"
#include "platform/Application.h"
#include "platform/Win1250.h"
#include "walkthrough/UserDriver.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>

#include <cstdio>
#include <exception>
#include <string>

namespace {

void Print(const QString& text) {
    std::fputs(text.toStdString().c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

QString Indented(QString text) {
    while (text.endsWith(QLatin1Char('\n')))
        text.chop(1);
    return QStringLiteral("    ") + text.replace(QLatin1Char('\n'), QStringLiteral("\n    "));
}

void PrintSight(const walkthrough::Sight& sight) {
    switch (sight.kind) {
    case walkthrough::Sight::LoginDialog:
        Print(QStringLiteral("[login] \"%1\": identifier %2 typed, password typed, Enter")
                  .arg(sight.caption, sight.text));
        break;
    case walkthrough::Sight::Box:
        Print(QStringLiteral("[box] \"%1\":").arg(sight.caption));
        Print(Indented(sight.text));
        Print(QStringLiteral("    -> %1").arg(sight.pressed));
        break;
    case walkthrough::Sight::WaitText:
        Print(QStringLiteral("[wait] ") + QString(sight.text).replace(QLatin1Char('\n'), ' '));
        break;
    }
}

// The offscreen platform says, for every window, which window-manager calls
// it cannot honour; that is no news to someone reading the walk-through.
void QuietPlatform(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support")) ||
        message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    std::fputs(qFormatLogMessage(type, context, message).toLocal8Bit().constData(), stderr);
    std::fputc('\n', stderr);
}

long long RowCount(const char* table) {
    db::TQuery query;
    query.setDatabaseName(FMain->Database1->getDatabaseName());
    query.setSessionName(FMain->Database1->getSessionName());
    query.setSQL(std::string("select count(*) as N from ") + table);
    query.Open();
    return query.FieldByName("N")->getAsInteger();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: %s <picture-dir> [identifier password]\n", argv[0]);
        return 2;
    }
    qInstallMessageHandler(QuietPlatform);
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("QT_ENABLE_HIGHDPI_SCALING"))
        qputenv("QT_ENABLE_HIGHDPI_SCALING", "0");
    QApplication application(argc, argv);
    // Boxes and menus as a Polish user sees them, the buttons pressed by
    // those texts.
    const app::QtTranslation translation;
    if (!translation.Loaded())
        Print(QStringLiteral("[note] ") + translation.Problem());
    const QString pictures = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    walkthrough::Script script;
    script.login = {argc == 4 ? QString::fromLocal8Bit(argv[2]) : QStringLiteral("ad"),
                    argc == 4 ? QString::fromLocal8Bit(argv[3]) : QStringLiteral("1234")};
    try {
        app::ApplicationForms forms;
        forms.Main().show();
        platform::ProcessMessages();
        walkthrough::UserDriver person(forms.Main(), forms.Login(), script, pictures);
        person.onSight = PrintSight;
        Print(QStringLiteral("[press] \"%1\"").arg(forms.Main().Button1->text()));
        person.PressStart();
        Print(QStringLiteral("[end] the run is over"));
        for (const char* table : {"MARKI", "MODELE", "WERSJE", "UPGRADE"})
            Print(QStringLiteral("[rows] %1: %2").arg(table).arg(RowCount(table)));
        Print(QStringLiteral("[pictures] ") + pictures);
        forms.Main().close();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mmw-walkthrough: %s\n", platform::Win1250ToUtf8(e.what()).c_str());
        return 1;
    }
    return 0;
}

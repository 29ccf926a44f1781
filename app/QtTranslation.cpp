#include "app/QtTranslation.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QTranslator>

namespace app {
namespace {

constexpr const char* kCatalogue = "qtbase_pl.qm";

} // namespace

QString QtTranslation::Directory() {
    return QLibraryInfo::path(QLibraryInfo::TranslationsPath);
}

QtTranslation::QtTranslation() : FTranslator(std::make_unique<QTranslator>()) {
    FLoaded = FTranslator->load(QString::fromLatin1(kCatalogue), Directory()) &&
              QCoreApplication::installTranslator(FTranslator.get());
}

QtTranslation::~QtTranslation() {
    if (FLoaded)
        QCoreApplication::removeTranslator(FTranslator.get());
}

QString QtTranslation::Problem() const {
    if (FLoaded)
        return {};
    return QStringLiteral("Qt's Polish translations cannot be loaded from %1; Qt's own buttons "
                          "and menus stay in English")
        .arg(QDir(Directory()).filePath(QString::fromLatin1(kCatalogue)));
}

} // namespace app

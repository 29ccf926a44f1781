#include "db/WorkshopTables.h"

#include "db/TTable.h"

namespace db {

void DeclarePersonelFields(TTable& table) {
    table.AddField("IDENTYFIKATOR", ftString, 2);
    table.AddField("HASLO", ftString, 8);
    table.AddField("NAZWA", ftString, 30);
    table.AddField("ADRES", ftString, 60);
    table.AddField("TELEFON1", ftString, 30);
    table.AddField("TELEFON2", ftString, 30);
    table.AddField("EMAIL", ftString, 30);
    table.AddField("PROWIZJA_MATERIAL", ftSmallint);
    table.AddField("PROWIZJA_USLUGA", ftSmallint);
    table.AddField("UPRAWNIENIA", ftInteger);
    table.AddField("STANOWISKO", ftString, 30);
    table.AddField("KODOWANIE", ftSmallint);
    table.AddField("NOWE_UPRAWNIENIA", ftSmallint);
    table.AddField("BLOKADA_INTERFEJSU", ftSmallint);
    table.AddField("TYLKO_MENU_WYBRANE", ftSmallint);
}

} // namespace db

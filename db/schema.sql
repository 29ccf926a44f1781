-- The workshop database: the staff table and the tables the catalogue
-- updater reads and writes. SQLite does not enforce declared widths; they
-- record what the workshop application allows, and what a server database
-- would be given.
--
-- Widths chosen:
--   MARKI.NAZWA 40, MODELE.NAZWA 60, WERSJE.NAZWA 60: catalogue names,
--     with room over the longest names of the vendor's catalogue file.
--   PROD_OD, PROD_DO 7: production months as YYYY.MM, or empty.
--   UPGRADE.NAME 30: the names of finished data modifications.
--   RDZPOJ SMALLINT: the kind of a catalogue row (0 for the vendor's rows).
--   Keys MARKA, MODEL, WERSJA: 32-bit INTEGER.
--   POJ_TECH, POJ_TAX (cm3), MOC_KW, MOC_KM: INTEGER.
--
-- Indexes: the catalogue import looks rows up by kind and parent key and
-- compares upper-cased names, and takes the smallest key of kind 0. The keys
-- (RDZPOJ, key) serve the smallest-key query; (RDZPOJ, parent, NAZWA)
-- narrows a name lookup to one make's models or one model's versions and
-- carries the names, which are compared row by row. The catalogue tables
-- are clustered on their keys (WITHOUT ROWID): every insert the import
-- commits on its own then writes two b-trees instead of three. There is
-- deliberately no index on
-- upper(NAZWA): other tools' built-in upper() disagrees with the
-- Windows-1250 one this engine registers, and such an index would be wrong
-- for them.

CREATE TABLE PERSONEL (
    IDENTYFIKATOR VARCHAR(2) NOT NULL PRIMARY KEY,
    HASLO VARCHAR(8),
    NAZWA VARCHAR(30),
    ADRES VARCHAR(60),
    TELEFON1 VARCHAR(30),
    TELEFON2 VARCHAR(30),
    EMAIL VARCHAR(30),
    PROWIZJA_MATERIAL SMALLINT,
    PROWIZJA_USLUGA SMALLINT,
    UPRAWNIENIA INTEGER,
    STANOWISKO VARCHAR(30),
    KODOWANIE SMALLINT,
    NOWE_UPRAWNIENIA SMALLINT,
    BLOKADA_INTERFEJSU SMALLINT,
    TYLKO_MENU_WYBRANE SMALLINT
);

CREATE TABLE MARKI (
    RDZPOJ SMALLINT NOT NULL,
    MARKA INTEGER NOT NULL,
    NAZWA VARCHAR(40),
    PRIMARY KEY (RDZPOJ, MARKA)
) WITHOUT ROWID;

CREATE TABLE MODELE (
    RDZPOJ SMALLINT NOT NULL,
    MARKA INTEGER NOT NULL,
    MODEL INTEGER NOT NULL,
    NAZWA VARCHAR(60),
    PROD_OD VARCHAR(7),
    PROD_DO VARCHAR(7),
    PRIMARY KEY (RDZPOJ, MODEL)
) WITHOUT ROWID;
CREATE INDEX MODELE_MARKA ON MODELE (RDZPOJ, MARKA, NAZWA);

CREATE TABLE WERSJE (
    RDZPOJ SMALLINT NOT NULL,
    MODEL INTEGER NOT NULL,
    WERSJA INTEGER NOT NULL,
    NAZWA VARCHAR(60),
    PROD_OD VARCHAR(7),
    PROD_DO VARCHAR(7),
    POJ_TECH INTEGER,
    POJ_TAX INTEGER,
    MOC_KW INTEGER,
    MOC_KM INTEGER,
    PRIMARY KEY (RDZPOJ, WERSJA)
) WITHOUT ROWID;
CREATE INDEX WERSJE_MODEL ON WERSJE (RDZPOJ, MODEL, NAZWA);

CREATE TABLE UPGRADE (
    NAME VARCHAR(30) NOT NULL,
    DATAWYK DATE
);

-- The workshop database on a PostgreSQL server: the same tables, columns,
-- widths, keys and indexes as schema.sql, which gives the reasons for them.
-- Names are unquoted, so the server keeps them in lower case and every
-- statement finds them whatever case it writes them in.
--
-- The server enforces the widths; the embedded driver enforces the same
-- widths on the values an insert writes, so a name too long for its column
-- is refused on both, with the same message.
--
-- There is deliberately no index on upper(NAZWA): the engine's upper()
-- follows the Windows-1250 table, not the server's locale.

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
);

CREATE TABLE MODELE (
    RDZPOJ SMALLINT NOT NULL,
    MARKA INTEGER NOT NULL,
    MODEL INTEGER NOT NULL,
    NAZWA VARCHAR(60),
    PROD_OD VARCHAR(7),
    PROD_DO VARCHAR(7),
    PRIMARY KEY (RDZPOJ, MODEL)
);
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
);
CREATE INDEX WERSJE_MODEL ON WERSJE (RDZPOJ, MODEL, NAZWA);

CREATE TABLE UPGRADE (
    NAME VARCHAR(30) NOT NULL,
    DATAWYK DATE
);

#include "db/PostgresConnection.h"

#include "db/EDBEngineError.h"
#include "db/PostgresDialect.h"
#include "db/SqlTokenizer.h"
#include "db/StatementTrace.h"
#include "platform/Win1250.h"

#include <poll.h>
#include <sched.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace db {
namespace {

// Type oids of the parameters the driver binds (pg_type.h).
constexpr Oid kUnknown = 0; // the server infers it from its place, as for a literal
constexpr Oid kInt2 = 21, kInt4 = 23, kInt8 = 20, kBool = 16;
constexpr Oid kFloat4 = 700, kFloat8 = 701, kNumeric = 1700;

constexpr std::size_t kPreparedCapacity = 64;
constexpr auto kAnswerSpin = std::chrono::microseconds(100);

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ' || text.back() == '\t'))
        text.pop_back();
    return text;
}

bool IsAscii(std::string_view text) {
    for (const char ch : text)
        if (static_cast<unsigned char>(ch) >= 0x80)
            return false;
    return true;
}

// The conversions of every statement and every value, with the plain ASCII
// they nearly always are passed through as it is: both encodings agree on it.
std::string ToServer(std::string_view text) {
    return IsAscii(text) ? std::string(text) : platform::Win1250ToUtf8(text);
}

std::string FromServer(std::string_view utf8) {
    return IsAscii(utf8) ? std::string(utf8) : platform::Utf8ToWin1250(utf8);
}

// The session setting that makes commits durable or relaxed.
const char* SynchronousCommit(bool durable) {
    return durable ? "SET synchronous_commit = on" : "SET synchronous_commit = off";
}

// Notices (a dropped lock that was not held, say) are not the user's
// business, and the program writes no log.
void QuietNotice(void*, const char*) {}

bool HasPassword(const std::string& conninfo) {
    std::string lower = conninfo;
    for (char& ch : lower)
        ch = static_cast<char>(ch >= 'A' && ch <= 'Z' ? ch + 32 : ch);
    return lower.find("password") != std::string::npos || lower.find('@') != std::string::npos;
}

Value CellValue(const PGresult* result, int row, int column) {
    if (PQgetisnull(result, row, column))
        return Value();
    const char* text = PQgetvalue(result, row, column);
    switch (PQftype(result, column)) {
    case kInt2:
    case kInt4:
    case kInt8:
        return Value(static_cast<std::int64_t>(std::strtoll(text, nullptr, 10)));
    case kBool:
        return Value(text[0] == 't' ? 1 : 0);
    case kFloat4:
    case kFloat8:
    case kNumeric:
        return Value(std::strtod(text, nullptr));
    default:
        return Value(FromServer(
            std::string_view(text, static_cast<std::size_t>(PQgetlength(result, row, column)))));
    }
}

// The result columns of a described statement, named as the embedded driver
// names them: the server folds a name written without quotes to lower case,
// and the workshop's field names are upper case.
std::vector<std::string> ColumnNames(const PGresult* described) {
    std::vector<std::string> names;
    const int columns = PQnfields(described);
    names.reserve(static_cast<std::size_t>(columns));
    for (int c = 0; c < columns; ++c)
        names.push_back(UpperAscii(FromServer(PQfname(described, c))));
    return names;
}

} // namespace

std::string PostgresConnection::MaskedConninfo(const std::string& conninfo) {
    char* error = nullptr;
    PQconninfoOption* options = PQconninfoParse(platform::Win1250ToUtf8(conninfo).c_str(), &error);
    PQfreemem(error);
    if (!options)
        return "(a connection string that cannot be read)";
    std::string out;
    for (const PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val || !*o->val)
            continue;
        if (!out.empty())
            out += ' ';
        out += o->keyword;
        out += '=';
        out += std::strcmp(o->keyword, "password") == 0 ? "********" : o->val;
    }
    PQconninfoFree(options);
    return platform::Utf8ToWin1250(out);
}

std::unique_ptr<PostgresConnection> PostgresConnection::Open(const std::string& conninfo) {
    const std::string utf8 = platform::Win1250ToUtf8(conninfo);
    // A string libpq cannot read may be quoted back in its message, and
    // with it a password: that message is shown only when none is there.
    char* parseError = nullptr;
    if (PQconninfoOption* options = PQconninfoParse(utf8.c_str(), &parseError)) {
        PQconninfoFree(options);
    } else {
        const std::string detail = parseError ? Trimmed(parseError) : std::string();
        PQfreemem(parseError);
        throw EDBEngineError("The connection string of the database server cannot be read" +
                             (HasPassword(conninfo) || detail.empty()
                                  ? std::string()
                                  : ": " + platform::Utf8ToWin1250(detail)));
    }
    // A server that does not answer at all ends the attempt after 10
    // seconds, unless PGCONNECT_TIMEOUT or the string says otherwise.
    const char* timeout = std::getenv("PGCONNECT_TIMEOUT");
    const bool ownTimeout = !timeout || !*timeout;
    // The string comes last, so that its own values win over these.
    std::vector<const char*> keywords = {"fallback_application_name"};
    std::vector<const char*> values = {"mmw"};
    if (ownTimeout) {
        keywords.push_back("connect_timeout");
        values.push_back("10");
    }
    keywords.insert(keywords.end(), {"dbname", nullptr});
    values.insert(values.end(), {utf8.c_str(), nullptr});
    PgConnHandle connection(PQconnectdbParams(keywords.data(), values.data(), 1));
    if (!connection)
        throw EDBEngineError("Cannot connect to the database server: out of memory");
    auto result =
        std::unique_ptr<PostgresConnection>(new PostgresConnection(std::move(connection)));
    if (PQstatus(result->FConnection.get()) != CONNECTION_OK)
        result->FailConnection("Cannot connect to");
    result->SetUpSession();
    return result;
}

PostgresConnection::PostgresConnection(PgConnHandle connection)
    : FConnection(std::move(connection)) {
    PQsetNoticeProcessor(FConnection.get(), QuietNotice, nullptr);
}

PostgresConnection::~PostgresConnection() = default;

std::string PostgresConnection::Describe() const {
    PGconn* c = FConnection.get();
    const char* host = PQhost(c);
    const char* port = PQport(c);
    const char* name = PQdb(c);
    return platform::Utf8ToWin1250(std::string("the database ") + (name ? name : "") +
                                   " on server " + (host && *host ? host : "localhost") +
                                   (port && *port ? std::string(":") + port : std::string()));
}

void PostgresConnection::FailConnection(const std::string& what) const {
    // libpq's own words: the server it tried and why it failed. They never
    // carry a password.
    throw EDBEngineError(what + " " + Describe() + ": " +
                         platform::Utf8ToWin1250(Trimmed(PQerrorMessage(FConnection.get()))));
}

bool PostgresConnection::Lost() const {
    return PQstatus(FConnection.get()) != CONNECTION_OK;
}

void PostgresConnection::Fail(const PGresult* result) const {
    if (Lost())
        FailConnection("Lost the connection to");
    const char* primary = result ? PQresultErrorField(result, PG_DIAG_MESSAGE_PRIMARY) : nullptr;
    throw EDBEngineError(
        platform::Utf8ToWin1250(Trimmed(primary ? primary : PQerrorMessage(FConnection.get()))));
}

PgResultHandle PostgresConnection::Command(const char* sql) {
    PgResultHandle result(PQexec(FConnection.get(), sql));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        Fail(result.get());
    return result;
}

void PostgresConnection::SetUpSession() {
    Command((std::string("SET client_encoding = 'UTF8'; SET standard_conforming_strings = on; "
                         "SET DateStyle = 'ISO, MDY'; ") +
             SynchronousCommit(FDurable))
                .c_str());
}

bool PostgresConnection::TakeRunLock() {
    PgResultHandle taken =
        Command(("select pg_try_advisory_lock(" + std::to_string(kRunLockKey) + ")").c_str());
    return PQgetvalue(taken.get(), 0, 0)[0] == 't';
}

void PostgresConnection::EnsureConnected() {
    PGconn* c = FConnection.get();
    // A server that closed the connection while it was idle has said so on
    // the socket: its farewell, then the end. Read what waits there.
    for (int k = 0; k < 4 && PQstatus(c) == CONNECTION_OK; ++k) {
        pollfd ready{PQsocket(c), POLLIN, 0};
        if (::poll(&ready, 1, 0) <= 0)
            break;
        if (!PQconsumeInput(c))
            break;
        while (PGnotify* notice = PQnotifies(c))
            PQfreemem(notice);
    }
    if (PQstatus(c) == CONNECTION_OK)
        return;
    PQreset(c);
    if (PQstatus(c) != CONNECTION_OK)
        FailConnection("Cannot connect to");
    // The server forgot everything of the old session.
    FPrepared.clear();
    FPreparedOrder.clear();
    SetUpSession();
    if (FLocked) {
        if (!TakeRunLock()) {
            FLocked = false;
            throw EDBEngineError("The connection to " + Describe() +
                                 " was lost, and with it the run lock, which another "
                                 "workstation holds now");
        }
    }
}

std::optional<std::vector<std::string>>
PostgresConnection::PrepareNamed(const std::string& name, const std::string& serverSql,
                                 const std::vector<Oid>& types, PgResultHandle& error) {
    PGconn* c = FConnection.get();
    PgResultHandle prepared(PQprepare(c, name.c_str(), serverSql.c_str(),
                                      static_cast<int>(types.size()),
                                      types.empty() ? nullptr : types.data()));
    if (!prepared || PQresultStatus(prepared.get()) != PGRES_COMMAND_OK) {
        error = std::move(prepared);
        return std::nullopt;
    }
    PgResultHandle described(PQdescribePrepared(c, name.c_str()));
    if (!described || PQresultStatus(described.get()) != PGRES_COMMAND_OK) {
        error = std::move(described);
        return std::nullopt;
    }
    return ColumnNames(described.get());
}

const PostgresConnection::Prepared* PostgresConnection::PrepareOnce(const std::string& serverSql,
                                                                    const std::vector<Oid>& types,
                                                                    PgResultHandle& error) {
    auto columns = PrepareNamed("", serverSql, types, error);
    if (!columns)
        return nullptr;
    FOnce = {"", std::move(*columns)};
    return &FOnce;
}

const PostgresConnection::Prepared* PostgresConnection::PrepareShape(const std::string& serverSql,
                                                                     const std::vector<Oid>& types,
                                                                     const std::string& key,
                                                                     PgResultHandle& error) {
    const std::string name = "mmw_" + std::to_string(++FNextName);
    auto columns = PrepareNamed(name, serverSql, types, error);
    if (!columns)
        return nullptr;
    while (FPreparedOrder.size() >= kPreparedCapacity) {
        const std::string old = FPreparedOrder.back().second.name;
        FPrepared.erase(FPreparedOrder.back().first);
        FPreparedOrder.pop_back();
        Command(("DEALLOCATE " + old).c_str());
    }
    FPreparedOrder.emplace_front(key, Prepared{name, std::move(*columns)});
    FPrepared[key] = FPreparedOrder.begin();
    return &FPreparedOrder.front().second;
}

PostgresConnection::Run PostgresConnection::PrepareRun(const std::string& sql,
                                                       const std::vector<Value>& params) {
    const std::string plain = ToServer(sql);
    Run run;
    std::vector<Oid> types;
    std::string key;
    std::optional<StatementShape> shape;
    if (params.empty()) {
        shape = FShapes.Match(plain);
        if (!shape) {
            if (!PostgresDialect::SingleStatement(plain))
                throw EDBEngineError("Only one statement can be run at a time");
            shape = LiteralParameters::Shape(plain);
            if (shape)
                FShapes.Remember(plain, *shape);
        }
    } else if (!PostgresDialect::SingleStatement(plain)) {
        throw EDBEngineError("Only one statement can be run at a time");
    }
    // Each literal typed as the server would type it where it stands: a
    // whole number as an integer of its size, a string as of unknown type,
    // which its place decides.
    if (shape) {
        key = shape->text;
        key += '\x01';
        for (const Value& v : shape->values) {
            if (v.kind() == Value::Kind::Integer) {
                const bool small = v.integer() >= std::numeric_limits<std::int32_t>::min() &&
                                   v.integer() <= std::numeric_limits<std::int32_t>::max();
                types.push_back(small ? kInt4 : kInt8);
                key += small ? 'i' : 'l';
                run.values.emplace_back(std::to_string(v.integer()));
            } else {
                types.push_back(kUnknown);
                key += 't';
                run.values.emplace_back(v.text());
            }
        }
    } else {
        key = plain;
        key += '\x02';
        for (const Value& v : params) {
            switch (v.kind()) {
            case Value::Kind::Null:
                types.push_back(kUnknown);
                key += 'n';
                run.values.emplace_back(std::nullopt);
                break;
            case Value::Kind::Integer:
                types.push_back(kInt8);
                key += 'l';
                run.values.emplace_back(std::to_string(v.integer()));
                break;
            case Value::Kind::Float: {
                char buffer[40];
                std::snprintf(buffer, sizeof buffer, "%.17g", v.real());
                types.push_back(kFloat8);
                key += 'f';
                run.values.emplace_back(buffer);
                break;
            }
            case Value::Kind::Text:
                types.push_back(kUnknown);
                key += 't';
                run.values.emplace_back(ToServer(v.text()));
                break;
            }
        }
    }
    if (const auto found = FPrepared.find(key); found != FPrepared.end()) {
        FPreparedOrder.splice(FPreparedOrder.begin(), FPreparedOrder, found->second);
        run.prepared = &found->second->second;
        return run;
    }
    PgResultHandle error;
    if (shape || !params.empty()) {
        const std::string serverSql = PostgresDialect::Translate(shape ? shape->text : plain);
        if ((run.prepared = PrepareShape(serverSql, types, key, error)))
            return run;
        // A shape the server rejects (a parameter whose type nothing
        // decides, say) runs as written, and a failure is then reported
        // about the text the user wrote.
        if (Lost() || !shape)
            Fail(error.get());
        run.values.clear();
    }
    // Nothing to share: prepared for this one run.
    if (!(run.prepared = PrepareOnce(PostgresDialect::Translate(plain), {}, error)))
        Fail(error.get());
    return run;
}

PgResultHandle PostgresConnection::Exec(const Run& run) {
    std::vector<const char*>& values = FValuePointers;
    values.clear();
    for (const auto& v : run.values)
        values.push_back(v ? v->c_str() : nullptr);
    PGconn* c = FConnection.get();
    PgResultHandle result;
    if (PQsendQueryPrepared(c, run.prepared->name.c_str(), static_cast<int>(values.size()),
                            values.empty() ? nullptr : values.data(), nullptr, nullptr, 0)) {
        // As PQexecPrepared collects them: the last result of the
        // statement, or the one at which a copy began or the connection
        // broke.
        for (;;) {
            AwaitAnswer();
            PgResultHandle next(PQgetResult(c));
            if (!next)
                break;
            result = std::move(next);
            const ExecStatusType status = PQresultStatus(result.get());
            if (status == PGRES_COPY_IN || status == PGRES_COPY_OUT || status == PGRES_COPY_BOTH ||
                PQstatus(c) == CONNECTION_BAD)
                break;
        }
    }
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK)
        Fail(result.get());
    return result;
}

void PostgresConnection::AwaitAnswer() {
    PGconn* c = FConnection.get();
    // The answer to a statement the import waits for is usually there
    // within some tens of microseconds. Sleeping in poll() for it costs the
    // wake-up of an idle processor on top, which can take longer than the
    // statement itself; so the driver looks for it a short while first,
    // giving way to whatever else is ready to run here (the server, say),
    // and only then sleeps as libpq does.
    const auto until = std::chrono::steady_clock::now() + kAnswerSpin;
    while (PQisBusy(c) && PQconsumeInput(c) && PQisBusy(c) &&
           std::chrono::steady_clock::now() < until)
        ::sched_yield();
}

ResultSet PostgresConnection::Select(const std::string& sql, const std::vector<Value>& params) {
    TraceStatement(sql);
    EnsureConnected();
    PgResultHandle result;
    const Prepared* prepared = nullptr;
    for (int attempt = 0;; ++attempt) {
        try {
            const Run run = PrepareRun(sql, params);
            if (run.prepared->columns.empty())
                throw EDBEngineError("The statement returns no result set, so it cannot be opened");
            result = Exec(run);
            prepared = run.prepared;
            break;
        } catch (const EDBEngineError&) {
            // A select changes nothing: one that met a connection the
            // server had just closed runs again on a new one.
            if (attempt > 0 || !Lost())
                throw;
            EnsureConnected();
        }
    }
    ResultSet out;
    const int columns = PQnfields(result.get());
    const int rows = PQntuples(result.get());
    out.columns = prepared->columns;
    out.rows.reserve(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        std::vector<Value>& row = out.rows.emplace_back();
        row.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c)
            row.push_back(CellValue(result.get(), r, c));
    }
    return out;
}

int PostgresConnection::Execute(const std::string& sql, const std::vector<Value>& params) {
    TraceStatement(sql);
    EnsureConnected();
    const Run run = PrepareRun(sql, params);
    PgResultHandle result = Exec(run);
    return std::atoi(PQcmdTuples(result.get()));
}

TableInfo PostgresConnection::DescribeTable(const std::string& table) {
    EnsureConnected();
    // Names compare without regard to case: the table as an unquoted name
    // would find it, its columns in their order with the key's positions.
    static const char* kColumns =
        "select a.attname, pg_catalog.format_type(a.atttypid, a.atttypmod), "
        "(select k.n from pg_catalog.pg_index i, unnest(i.indkey) with ordinality k(attnum, n) "
        "where i.indrelid = a.attrelid and i.indisprimary and k.attnum = a.attnum) "
        "from pg_catalog.pg_attribute a "
        "where a.attrelid = pg_catalog.to_regclass(pg_catalog.quote_ident(pg_catalog.lower($1))) "
        "and a.attnum > 0 and not a.attisdropped order by a.attnum";
    const std::string name = platform::Win1250ToUtf8(table);
    const char* values[] = {name.c_str()};
    PgResultHandle result(
        PQexecParams(FConnection.get(), kColumns, 1, nullptr, values, nullptr, nullptr, 0));
    if (!result || PQresultStatus(result.get()) != PGRES_TUPLES_OK)
        Fail(result.get());
    if (PQntuples(result.get()) == 0)
        throw EDBEngineError("no such table: " + table);
    TableInfo info;
    info.name = table;
    std::vector<std::pair<long, std::string>> key;
    for (int r = 0; r < PQntuples(result.get()); ++r) {
        std::string column = UpperAscii(platform::Utf8ToWin1250(PQgetvalue(result.get(), r, 0)));
        info.columns.push_back(
            {column, UpperAscii(platform::Utf8ToWin1250(PQgetvalue(result.get(), r, 1)))});
        if (!PQgetisnull(result.get(), r, 2))
            key.emplace_back(std::atol(PQgetvalue(result.get(), r, 2)), std::move(column));
    }
    std::sort(key.begin(), key.end());
    for (auto& [position, column] : key)
        info.primaryKey.push_back(std::move(column));
    return info;
}

bool PostgresConnection::TryLockRun() {
    if (FLocked)
        return true;
    EnsureConnected();
    FLocked = TakeRunLock();
    return FLocked;
}

void PostgresConnection::ReleaseRunLock() {
    if (!FLocked)
        return;
    FLocked = false;
    // A connection that is gone has taken the lock with it.
    if (Lost())
        return;
    PgResultHandle released(
        PQexec(FConnection.get(),
               ("select pg_advisory_unlock(" + std::to_string(kRunLockKey) + ")").c_str()));
}

void PostgresConnection::SetDurableCommits(bool durable) {
    FDurable = durable;
    EnsureConnected();
    Command(SynchronousCommit(durable));
}

} // namespace db

#include "db/SqliteConnection.h"

#include "db/StatementTrace.h"

#include "db/DateLiteralRewriter.h"
#include "db/EDBEngineError.h"
#include "db/SqlTokenizer.h"
#include "db/StatementShape.h"
#include "platform/FileServices.h"
#include "platform/FileSystemKind.h"
#include "platform/Win1250.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

namespace db {
namespace {

// Resets a statement when its use ends, so that a finished select holds no
// read transaction open and the next use starts from clean bindings.
class StatementUse {
public:
    explicit StatementUse(sqlite3_stmt* statement) : FStatement(statement) {}
    ~StatementUse() {
        sqlite3_reset(FStatement);
        sqlite3_clear_bindings(FStatement);
    }
    StatementUse(const StatementUse&) = delete;
    StatementUse& operator=(const StatementUse&) = delete;

private:
    sqlite3_stmt* FStatement;
};

// Upper case of a UTF-8 text by the Windows-1250 table: each character the
// code page has goes through its upper-case byte; every other character, and
// any byte that is not well-formed UTF-8, stays as it is.
void UpperUtf8(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        // ASCII, most of every catalogue name, maps onto itself in the code
        // page: only a-z change.
        if (const auto ch = static_cast<unsigned char>(text[i]); ch < 0x80) {
            out.push_back(ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 32)
                                                 : static_cast<char>(ch));
            ++i;
            continue;
        }
        const auto [cp, length] = platform::DecodeUtf8(text, i);
        if (length == 0) {
            out.push_back(text[i]);
            ++i;
            continue;
        }
        const int byte = platform::UnicodeToWin1250(cp);
        platform::AppendUtf8(out, byte < 0 ? cp
                                           : platform::Win1250ToUnicode(platform::AnsiUpperChar(
                                                 static_cast<unsigned char>(byte))));
        i += length;
    }
}

void UpperFunction(sqlite3_context* context, int, sqlite3_value** argv) {
    if (sqlite3_value_type(argv[0]) == SQLITE_NULL) {
        sqlite3_result_null(context);
        return;
    }
    const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(argv[0]));
    if (!text) {
        sqlite3_result_error_nomem(context);
        return;
    }
    // One buffer for every call: the function runs for each row a lookup
    // compares, and SQLite copies the result anyway.
    thread_local std::string upper;
    UpperUtf8(std::string_view(text, static_cast<std::size_t>(sqlite3_value_bytes(argv[0]))),
              upper);
    sqlite3_result_text64(context, upper.data(), upper.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
}

// Only blanks, comments and semicolons.
bool IsEmptyTail(std::string_view tail) {
    for (const SqlToken& token : SqlTokenizer::Significant(tail))
        if (!token.isPunctuation(';'))
            return false;
    return true;
}

Value ColumnValue(sqlite3_stmt* statement, int column) {
    switch (sqlite3_column_type(statement, column)) {
    case SQLITE_INTEGER:
        return Value(static_cast<std::int64_t>(sqlite3_column_int64(statement, column)));
    case SQLITE_FLOAT:
        return Value(sqlite3_column_double(statement, column));
    case SQLITE_TEXT: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(statement, column));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
        return Value(platform::Utf8ToWin1250(std::string_view(text ? text : "", size)));
    }
    case SQLITE_BLOB: {
        // Bytes are not text: handed on unchanged.
        const auto* data = static_cast<const char*>(sqlite3_column_blob(statement, column));
        const auto size = static_cast<std::size_t>(sqlite3_column_bytes(statement, column));
        return Value(std::string(data ? data : "", data ? size : 0));
    }
    default:
        return Value();
    }
}

SqliteConnection::NetworkProbe networkProbe = nullptr;

// How long a statement waits for another connection's lock.
constexpr int kBusyTimeoutMs = 5000;

} // namespace

void SqliteConnection::SetNetworkProbe(NetworkProbe probe) {
    networkProbe = probe;
}

void SqliteConnection::RegisterUpper(sqlite3* database) {
    sqlite3_create_function_v2(database, "upper", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC, nullptr,
                               UpperFunction, nullptr, nullptr, nullptr);
}

std::string SqliteConnection::TablesFile(const std::string& directory) {
    return directory + (directory.empty() || directory.back() != '/' ? "/" : "") + kFileName;
}

std::unique_ptr<SqliteConnection> SqliteConnection::Open(const std::string& directory) {
    const std::string path = TablesFile(directory);
    auto refuse = [&](const std::string& reason, int code) {
        throw EDBEngineError("Cannot open the database " + path + ": " + reason, code);
    };

    // The file belongs to the workshop application: it is never created
    // here, and an empty one is no database either (SQLite would make it
    // one). A file or directory the program may not write is refused before
    // SQLite sees it: SQLite would open it read-only, leave a read-only
    // shared-memory file beside it that outlives the cause, and fail only at
    // the first insert.
    const std::string utf8Path = platform::SystemPath(path);
    struct stat status {};
    if (::stat(utf8Path.c_str(), &status) != 0)
        refuse(std::strerror(errno), SQLITE_CANTOPEN);
    if (!S_ISREG(status.st_mode))
        refuse("it is not a file", SQLITE_CANTOPEN);
    if (status.st_size == 0)
        refuse("the file is empty, so it is no database", SQLITE_NOTADB);
    if (::access(utf8Path.c_str(), W_OK) != 0)
        refuse(errno == EROFS ? "the file is read-only (its file system is mounted read-only)"
                              : "the file is read-only",
               SQLITE_READONLY);
    if (::access(platform::SystemPath(platform::ExtractFileDir(path)).c_str(), W_OK | X_OK) != 0)
        refuse("the directory " + platform::ExtractFileDir(path) +
                   " is read-only, and the database's journal is written there",
               SQLITE_READONLY);
    // The log and its shared memory, which an earlier program may have left
    // read-only behind it.
    for (const char* suffix : {"-wal", "-shm"})
        if (const std::string companion = utf8Path + suffix;
            ::access(companion.c_str(), F_OK) == 0 && ::access(companion.c_str(), W_OK) != 0)
            refuse("the file " + path + suffix + " beside it is read-only", SQLITE_READONLY);

    const std::string dir = platform::ExtractFileDir(path);
    const bool network = networkProbe ? networkProbe(dir) : platform::OnNetworkFileSystem(dir);
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(utf8Path.c_str(), &raw, SQLITE_OPEN_READWRITE, nullptr);
    SqliteHandle database(raw);
    auto fail = [&](int code) {
        refuse(database ? platform::Utf8ToWin1250(sqlite3_errmsg(database.get()))
                        : sqlite3_errstr(code),
               code);
    };
    if (rc != SQLITE_OK)
        fail(rc);
    sqlite3_extended_result_codes(database.get(), 1);
    sqlite3_busy_timeout(database.get(), kBusyTimeoutMs);
    // On a local disk, WAL lets the workshop application's workstations read
    // while an import writes. Every insert of an import commits on its own:
    // with synchronous=NORMAL a commit is written but not flushed, and the
    // log is flushed when it is copied back into the file. A commit lost to
    // a power cut takes every later one with it, so the file stays
    // consistent, and a new import merges what was lost again. The log is
    // copied back every 1800 pages (7 MiB) and never kept larger than
    // 8 MiB, so an import needs little more room than its rows; copying
    // back more often costs a flush each time. The end of a run cuts it back
    // to nothing.
    //
    // WAL needs memory shared between the processes of one host, which a
    // network file system cannot give: there the file keeps (or gets back)
    // a rollback journal, and every commit is flushed.
    //
    // The first pragma is also the first read of the file, so a file that
    // is no database fails here, with its name in the message.
    const std::vector<const char*> pragmas =
        network ? std::vector<const char*>{"PRAGMA journal_mode=DELETE", "PRAGMA synchronous=FULL"}
                : std::vector<const char*>{"PRAGMA journal_mode=WAL", "PRAGMA synchronous=NORMAL",
                                           "PRAGMA wal_autocheckpoint=1800",
                                           "PRAGMA journal_size_limit=8388608"};
    for (const char* pragma : pragmas)
        if (const int code = sqlite3_exec(database.get(), pragma, nullptr, nullptr, nullptr);
            code != SQLITE_OK)
            fail(code);
    if (network) {
        // Leaving WAL needs the file to itself; while another connection
        // has it open in WAL mode, the pragma answers "wal" and changes
        // nothing.
        sqlite3_stmt* raw = nullptr;
        sqlite3_prepare_v2(database.get(), "PRAGMA journal_mode", -1, &raw, nullptr);
        StatementHandle mode(raw);
        if (mode && sqlite3_step(mode.get()) == SQLITE_ROW &&
            std::string_view(reinterpret_cast<const char*>(sqlite3_column_text(mode.get(), 0))) ==
                "wal")
            refuse("it lies on a network file system and is still in WAL mode, held open by "
                   "another program on this computer",
                   SQLITE_BUSY);
    }
    RegisterUpper(database.get());
    return std::unique_ptr<SqliteConnection>(
        new SqliteConnection(std::move(database), dir, network));
}

bool SqliteConnection::TryLockRun() {
    return FRunLock.TryLock(FDirectory + "/" + kRunLockName);
}

void SqliteConnection::ReleaseRunLock() {
    // The run is over, however it ended: its log is copied back and cut to
    // nothing, so that a failed run leaves no large file behind. Only when
    // nobody else is reading (a reader would be waited for, with the window
    // unanswering): otherwise the log stays until the next copy. A failure
    // here changes nothing that was committed, and is not the run's.
    if (!FNetwork) {
        sqlite3_busy_timeout(FDatabase.get(), 0);
        sqlite3_wal_checkpoint_v2(FDatabase.get(), nullptr, SQLITE_CHECKPOINT_TRUNCATE, nullptr,
                                  nullptr);
        sqlite3_busy_timeout(FDatabase.get(), kBusyTimeoutMs);
    }
    FRunLock.Unlock();
}

void SqliteConnection::SetDurableCommits(bool durable) {
    // synchronous=FULL flushes the log (or the journal and the file) at
    // every commit, so the statement's change is on disk when it returns.
    // On a network share every commit is flushed anyway.
    const char* pragma =
        durable || FNetwork ? "PRAGMA synchronous=FULL" : "PRAGMA synchronous=NORMAL";
    if (sqlite3_exec(FDatabase.get(), pragma, nullptr, nullptr, nullptr) != SQLITE_OK)
        Fail();
}

void SqliteConnection::Fail() const {
    throw EDBEngineError(platform::Utf8ToWin1250(sqlite3_errmsg(FDatabase.get())),
                         sqlite3_extended_errcode(FDatabase.get()));
}

sqlite3_stmt* SqliteConnection::Prepare(const std::string& utf8) {
    if (sqlite3_stmt* cached = FStatements.Find(utf8))
        return cached;
    const char* tail = nullptr;
    StatementHandle statement = Compile(utf8, tail);
    if (!statement)
        Fail();
    return Accept(utf8, std::move(statement), tail);
}

StatementHandle SqliteConnection::Compile(const std::string& utf8, const char*& tail) {
    sqlite3_stmt* raw = nullptr;
    const int rc = sqlite3_prepare_v3(FDatabase.get(), utf8.data(), static_cast<int>(utf8.size()),
                                      SQLITE_PREPARE_PERSISTENT, &raw, &tail);
    StatementHandle statement(raw);
    if (rc != SQLITE_OK)
        return nullptr;
    if (!statement)
        throw EDBEngineError("The statement is empty");
    return statement;
}

sqlite3_stmt* SqliteConnection::Accept(const std::string& utf8, StatementHandle statement,
                                       const char* tail) {
    // The engine runs one statement per call; a second one after it would
    // otherwise be dropped without a word.
    if (!IsEmptyTail(
            std::string_view(tail, static_cast<std::size_t>(utf8.data() + utf8.size() - tail))))
        throw EDBEngineError("Only one statement can be run at a time");
    return FStatements.Insert(utf8, std::move(statement));
}

sqlite3_stmt* SqliteConnection::PrepareShape(std::optional<StatementShape>& shape,
                                             const std::string& utf8) {
    if (sqlite3_stmt* cached = FStatements.Find(shape->text))
        return cached;
    const char* tail = nullptr;
    if (StatementHandle statement = Compile(shape->text, tail))
        return Accept(shape->text, std::move(statement), tail);
    // The shape did not compile, where the text as written may: the text
    // runs as written, and a failure is reported about it, in SQLite's words
    // for what the user wrote.
    shape.reset();
    return Prepare(utf8);
}

// Each literal bound as SQLite would have read it: a whole number as an
// integer, a string as UTF-8 text.
void SqliteConnection::BindLiterals(sqlite3_stmt* statement, const std::vector<Value>& literals) {
    for (std::size_t k = 0; k < literals.size(); ++k) {
        const int index = static_cast<int>(k + 1);
        const Value& value = literals[k];
        const int rc =
            value.kind() == Value::Kind::Integer
                ? sqlite3_bind_int64(statement, index, value.integer())
                : sqlite3_bind_text64(statement, index, value.text().data(), value.text().size(),
                                      SQLITE_TRANSIENT, SQLITE_UTF8);
        if (rc != SQLITE_OK)
            Fail();
    }
}

void SqliteConnection::Bind(sqlite3_stmt* statement, const std::vector<Value>& params) {
    for (std::size_t k = 0; k < params.size(); ++k) {
        const int index = static_cast<int>(k + 1);
        const Value& value = params[k];
        int rc = SQLITE_OK;
        switch (value.kind()) {
        case Value::Kind::Null:
            rc = sqlite3_bind_null(statement, index);
            break;
        case Value::Kind::Integer:
            rc = sqlite3_bind_int64(statement, index, value.integer());
            break;
        case Value::Kind::Float:
            rc = sqlite3_bind_double(statement, index, value.real());
            break;
        case Value::Kind::Text: {
            const std::string utf8 = platform::Win1250ToUtf8(value.text());
            rc = sqlite3_bind_text64(statement, index, utf8.data(), utf8.size(), SQLITE_TRANSIENT,
                                     SQLITE_UTF8);
            break;
        }
        }
        if (rc != SQLITE_OK)
            Fail();
    }
}

std::optional<std::vector<ColumnInfo>> SqliteConnection::Columns(const std::string& table) {
    const std::string key = UpperAscii(table);
    if (const auto found = FColumns.find(key); found != FColumns.end())
        return found->second;
    // The driver's own look at the table is none of the statements the
    // caller ran.
    struct Quiet {
        StatementObserver saved = SetStatementObserver({});
        ~Quiet() { SetStatementObserver(std::move(saved)); }
    } quiet;
    try {
        TableInfo info = DescribeTable(platform::Utf8ToWin1250(table));
        for (ColumnInfo& column : info.columns)
            column.name = platform::Win1250ToUtf8(column.name);
        return FColumns.emplace(key, std::move(info.columns)).first->second;
    } catch (const EDBEngineError&) {
        // No such table: the statement itself will say so.
        return std::nullopt;
    }
}

std::string SqliteConnection::RewriteDates(const std::string& utf8) {
    return DateLiteralRewriter::Rewrite(
        utf8, [this](const std::string& table) { return Columns(table); });
}

bool SqliteConnection::StepRow(sqlite3_stmt* statement) {
    const int rc = sqlite3_step(statement);
    if (rc == SQLITE_ROW)
        return true;
    if (rc != SQLITE_DONE)
        Fail();
    return false;
}

sqlite3_stmt* SqliteConnection::PrepareRun(const std::string& sql, const std::vector<Value>& params,
                                           std::optional<StatementShape>& shape) {
    // A caller's own parameters are bound to the text as written.
    const std::string plain = platform::Win1250ToUtf8(sql);
    if (!params.empty())
        return Prepare(RewriteDates(plain));
    // A statement of a shape seen lately. A literal that reads as a date
    // takes the long way, where a DATE column turns it into an ISO date.
    if (auto known = FShapes.Match(plain)) {
        bool dates = false;
        for (const Value& value : known->values)
            dates = dates || (value.kind() == Value::Kind::Text &&
                              DateLiteralRewriter::IsoDate(value.text()));
        if (!dates) {
            shape = std::move(known);
            return PrepareShape(shape, plain);
        }
    }
    const std::string utf8 = RewriteDates(plain);
    shape = LiteralParameters::Shape(utf8);
    if (shape && utf8 == plain)
        FShapes.Remember(utf8, *shape);
    return shape ? PrepareShape(shape, utf8) : Prepare(utf8);
}

void SqliteConnection::BindRun(sqlite3_stmt* statement, const std::vector<Value>& params,
                               const std::optional<StatementShape>& shape) {
    if (shape)
        BindLiterals(statement, shape->values);
    else
        Bind(statement, params);
}

ResultSet SqliteConnection::Select(const std::string& sql, const std::vector<Value>& params) {
    TraceStatement(sql);
    std::optional<StatementShape> shape;
    sqlite3_stmt* statement = PrepareRun(sql, params, shape);
    StatementUse use(statement);
    const int columns = sqlite3_column_count(statement);
    if (columns == 0)
        throw EDBEngineError("The statement returns no result set, so it cannot be opened");
    BindRun(statement, params, shape);
    ResultSet result;
    for (int c = 0; c < columns; ++c)
        result.columns.push_back(platform::Utf8ToWin1250(sqlite3_column_name(statement, c)));
    while (StepRow(statement)) {
        std::vector<Value>& row = result.rows.emplace_back();
        row.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c)
            row.push_back(ColumnValue(statement, c));
    }
    return result;
}

int SqliteConnection::Execute(const std::string& sql, const std::vector<Value>& params) {
    TraceStatement(sql);
    std::optional<StatementShape> shape;
    sqlite3_stmt* statement = PrepareRun(sql, params, shape);
    StatementUse use(statement);
    if (shape)
        FWidths.Check(*shape, [this](const std::string& table) { return Columns(table); });
    BindRun(statement, params, shape);
    while (StepRow(statement)) {
    }
    return sqlite3_changes(FDatabase.get());
}

TableInfo SqliteConnection::DescribeTable(const std::string& table) {
    const ResultSet info =
        Select("select name, type, pk from pragma_table_info(?1) order by cid", {Value(table)});
    if (info.rows.empty())
        throw EDBEngineError("no such table: " + table, SQLITE_ERROR);
    TableInfo result;
    result.name = table;
    std::vector<std::pair<std::int64_t, std::string>> key;
    for (const auto& row : info.rows) {
        result.columns.push_back({row[0].text(), row[1].isNull() ? std::string() : row[1].text()});
        if (row[2].integer() > 0)
            key.emplace_back(row[2].integer(), row[0].text());
    }
    std::sort(key.begin(), key.end());
    for (auto& [position, name] : key)
        result.primaryKey.push_back(std::move(name));
    return result;
}

} // namespace db

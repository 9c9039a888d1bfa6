// SQLite calls turned into exceptions, so the journal's code reads as what it does.
#include "Sqlite.h"

#include "repository/Utf8.h"

#include <QFile>
#include <QUrl>

#include <sqlite3.h>

namespace sqlite {

namespace {

[[noreturn]] void Fail(sqlite3* db, int code, std::string_view doing) {
    std::string text(doing);
    text += ": ";
    text += db != nullptr ? sqlite3_errmsg(db) : sqlite3_errstr(code);
    throw Error(text, code);
}

} // namespace

Database::Database(const QString& path, Mode mode) {
    const int flags =
        (mode == Mode::ReadWrite ? SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE : SQLITE_OPEN_READONLY) |
        (mode == Mode::Immutable ? SQLITE_OPEN_URI : 0) | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE;
    const QByteArray name = mode == Mode::Immutable
                                ? QUrl::fromLocalFile(path).toEncoded() + QByteArrayLiteral("?immutable=1")
                                : QFile::encodeName(path);
    // The unix VFS opens every file with O_CLOEXEC.
    const int code = sqlite3_open_v2(name.constData(), &m_db, flags, nullptr);
    if (code != SQLITE_OK) {
        const std::string message = m_db != nullptr ? sqlite3_errmsg(m_db) : sqlite3_errstr(code);
        sqlite3_close_v2(m_db);
        m_db = nullptr;
        throw Error("open " + std::string(name.constData()) + ": " + message, code);
    }
    sqlite3_busy_timeout(m_db, 5000); // a reader elsewhere holds the file only for a moment
}

std::unique_ptr<Database> Database::OpenForReading(const QString& path) {
    auto db = std::make_unique<Database>(path, Mode::ReadOnly);
    try {
        db->Execute("SELECT COUNT(*) FROM sqlite_schema");
        return db;
    } catch (const Error& error) {
        const int primary = error.Code() & 0xff;
        if (primary != SQLITE_READONLY && primary != SQLITE_CANTOPEN) {
            throw;
        }
    }
    return std::make_unique<Database>(path, Mode::Immutable);
}

Database::~Database() {
    m_cached.clear(); // finalised before the connection closes
    sqlite3_close_v2(m_db);
}

Statement& Database::Cached(const char* sql) {
    auto& statement = m_cached[sql];
    if (!statement) {
        statement = std::make_unique<Statement>(m_db, sql);
    }
    return *statement;
}

void Database::Execute(std::string_view sql) {
    char* message = nullptr;
    const int code = sqlite3_exec(m_db, std::string(sql).c_str(), nullptr, nullptr, &message);
    if (code != SQLITE_OK) {
        const std::string text = message != nullptr ? message : sqlite3_errstr(code);
        sqlite3_free(message);
        throw Error(std::string(sql.substr(0, 40)) + ": " + text, code);
    }
}

Statement Database::Prepare(std::string_view sql) {
    return Statement(m_db, sql);
}

std::int64_t Database::Changes() const {
    return sqlite3_changes64(m_db);
}

Statement::Statement(sqlite3* db, std::string_view sql) : m_db(db) {
    const int code = sqlite3_prepare_v3(db, sql.data(), static_cast<int>(sql.size()),
                                        SQLITE_PREPARE_PERSISTENT, &m_statement, nullptr);
    if (code != SQLITE_OK) {
        Fail(db, code, sql.substr(0, 40));
    }
}

Statement::~Statement() {
    sqlite3_finalize(m_statement);
}

Statement::Statement(Statement&& other) noexcept : m_db(other.m_db), m_statement(other.m_statement) {
    other.m_statement = nullptr;
}

Statement& Statement::Bind(int index, std::int64_t value) {
    sqlite3_bind_int64(m_statement, index, value);
    return *this;
}

Statement& Statement::Bind(int index, const std::optional<std::int64_t>& value) {
    if (value) {
        sqlite3_bind_int64(m_statement, index, *value);
    } else {
        sqlite3_bind_null(m_statement, index);
    }
    return *this;
}

Statement& Statement::Bind(int index, const std::wstring& text) {
    // Straight to UTF-8: through a QString a name of millions of characters took three times its size.
    const std::string utf8 = Utf8FromWideLossy(text);
    sqlite3_bind_text(m_statement, index, utf8.data(), static_cast<int>(utf8.size()), SQLITE_TRANSIENT);
    return *this;
}

Statement& Statement::BindUtf8(int index, std::string_view text) {
    sqlite3_bind_text(m_statement, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT);
    return *this;
}

bool Statement::Step() {
    const int code = sqlite3_step(m_statement);
    if (code == SQLITE_ROW) {
        return true;
    }
    if (code == SQLITE_DONE) {
        return false;
    }
    sqlite3_reset(m_statement);
    Fail(m_db, code, sqlite3_sql(m_statement));
}

void Statement::Run() {
    while (Step()) {
    }
    Reset();
}

void Statement::Reset() {
    sqlite3_reset(m_statement);
    sqlite3_clear_bindings(m_statement);
}

bool Statement::IsNull(int column) const {
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

std::int64_t Statement::Int(int column) const {
    return sqlite3_column_int64(m_statement, column);
}

std::optional<std::int64_t> Statement::OptionalInt(int column) const {
    return IsNull(column) ? std::nullopt : std::optional<std::int64_t>(Int(column));
}

std::wstring Statement::Text(int column) const {
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    const int size = sqlite3_column_bytes(m_statement, column);
    return text == nullptr ? std::wstring()
                           : WideFromUtf8Lossy(std::string_view(text, static_cast<std::size_t>(size)));
}

Transaction::Transaction(Database& db) : m_db(db) {
    m_db.Execute("BEGIN IMMEDIATE");
}

Transaction::~Transaction() {
    if (!m_done) {
        try {
            m_db.Execute("ROLLBACK");
        } catch (const Error&) {
            // The failed statement may have rolled back already.
        }
    }
}

void Transaction::Commit() {
    m_db.Execute("COMMIT");
    m_done = true;
}

} // namespace sqlite

// A thin owner of an SQLite connection and its prepared statements, for the run journal.
#pragma once

#include <QString>

#include <cstdint>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>

struct sqlite3;
struct sqlite3_stmt;

namespace sqlite {

// What SQLite said when a call failed, with the call's purpose in front.
class Error : public std::runtime_error {
public:
    Error(const std::string& what, int code) : std::runtime_error(what), m_code(code) {}
    int Code() const { return m_code; }

private:
    int m_code;
};

class Statement;

class Database {
public:
    enum class Mode { ReadWrite, ReadOnly, Immutable };

    // Opens (ReadWrite: creating) the file; throws Error when it cannot. The descriptors are
    // close-on-exec, so programs the scheduler starts do not inherit the journal.
    Database(const QString& path, Mode mode);
    // For reading only, whatever the folder allows: a database in write-ahead-logging mode needs its
    // shared-memory file, which a reader cannot make in a folder it may not write; it is then read as
    // an unchanging file (nobody can be writing it there either).
    static std::unique_ptr<Database> OpenForReading(const QString& path);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    void Execute(std::string_view sql);
    Statement Prepare(std::string_view sql);
    // A statement prepared once for this connection and kept, ready for new values: for writes repeated
    // thousands of times. Reset it (Run does) before it is asked for again.
    Statement& Cached(const char* sql);
    std::int64_t Changes() const;
    sqlite3* Handle() const { return m_db; }

private:
    sqlite3* m_db = nullptr;
    std::unordered_map<const char*, std::unique_ptr<Statement>> m_cached; // by the text's address
};

// One prepared statement; bind by position (from 1), step, read columns (from 0).
class Statement {
public:
    Statement(sqlite3* db, std::string_view sql);
    ~Statement();
    Statement(Statement&& other) noexcept;
    Statement& operator=(Statement&&) = delete;
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    Statement& Bind(int index, std::int64_t value);
    Statement& Bind(int index, const std::optional<std::int64_t>& value); // none: NULL
    Statement& Bind(int index, const std::wstring& text);
    Statement& BindUtf8(int index, std::string_view text); // text already in UTF-8
    // True while there is a row to read; false once done. Throws Error on failure.
    bool Step();
    // Steps to the end and makes the statement ready for new values.
    void Run();
    void Reset();

    bool IsNull(int column) const;
    std::int64_t Int(int column) const;
    std::optional<std::int64_t> OptionalInt(int column) const;
    std::wstring Text(int column) const;

private:
    sqlite3* m_db;
    sqlite3_stmt* m_statement = nullptr;
};

// A transaction that rolls back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;
    void Commit();

private:
    Database& m_db;
    bool m_done = false;
};

} // namespace sqlite

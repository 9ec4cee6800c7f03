// SQLite's calls for the cleaner's edits and counts.
#include "cleaner/SqliteDatabase.h"

#include <sqlite3.h>

#include <utility>

namespace vestrel::cleaner {
namespace {

// A prepared statement, finalised however its use ends.
class Statement {
  public:
    Statement(sqlite3* db, const std::string& sql) {
        if (::sqlite3_prepare_v2(db, sql.c_str(), static_cast<int>(sql.size()), &statement_, nullptr) !=
            SQLITE_OK) {
            statement_ = nullptr;
        }
    }
    ~Statement() { ::sqlite3_finalize(statement_); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;
    sqlite3_stmt* Get() const { return statement_; }

  private:
    sqlite3_stmt* statement_ = nullptr;
};

// Opens `path` with `flags`; a file name is taken as a URI so that "mode=ro" and friends apply.
sqlite3* Open(const std::string& path, int flags) {
    sqlite3* db = nullptr;
    if (::sqlite3_open_v2(path.c_str(), &db, flags, nullptr) != SQLITE_OK) {
        ::sqlite3_close(db);
        return nullptr;
    }
    // Reading the schema now tells a database from any other file, and a locked one from a free one.
    if (::sqlite3_exec(db, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr) != SQLITE_OK) {
        ::sqlite3_close(db);
        return nullptr;
    }
    return db;
}

bool CopyInto(sqlite3* destination, const char* destination_schema, const std::string& path) {
    sqlite3* source = Open(path, SQLITE_OPEN_READONLY);
    if (source == nullptr) return false;
    sqlite3_backup* backup = ::sqlite3_backup_init(destination, destination_schema, source, "main");
    bool copied = false;
    if (backup != nullptr) {
        copied = ::sqlite3_backup_step(backup, -1) == SQLITE_DONE;
        copied = ::sqlite3_backup_finish(backup) == SQLITE_OK && copied;
    }
    ::sqlite3_close(source);
    return copied;
}

}  // namespace

SqliteDatabase::~SqliteDatabase() { Close(); }

SqliteDatabase::SqliteDatabase(SqliteDatabase&& other) noexcept
    : in_memory_(other.in_memory_), db_(std::exchange(other.db_, nullptr)) {}

SqliteDatabase& SqliteDatabase::operator=(SqliteDatabase&& other) noexcept {
    if (this != &other) {
        Close();
        in_memory_ = other.in_memory_;
        db_ = std::exchange(other.db_, nullptr);
    }
    return *this;
}

void SqliteDatabase::Close() {
    if (db_ != nullptr) ::sqlite3_close(std::exchange(db_, nullptr));
}

std::optional<SqliteDatabase> SqliteDatabase::OpenReadOnly(const std::string& path) {
    sqlite3* db = Open(path, SQLITE_OPEN_READONLY);
    if (db == nullptr) return std::nullopt;
    return SqliteDatabase(db);
}

std::optional<SqliteDatabase> SqliteDatabase::OpenForEdit(const std::string& path) {
    sqlite3* db = Open(path, SQLITE_OPEN_READWRITE);
    if (db == nullptr) return std::nullopt;
    SqliteDatabase database(db);
    // Deleted content is overwritten, in the file and in the journal, instead of left in free pages.
    if (!database.Execute("PRAGMA secure_delete=ON") || database.Number("PRAGMA secure_delete") != 1) {
        return std::nullopt;
    }
    return database;
}

std::optional<SqliteDatabase> SqliteDatabase::CopyInMemory(const std::string& path) {
    sqlite3* db = nullptr;
    if (::sqlite3_open_v2(":memory:", &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr) !=
        SQLITE_OK) {
        ::sqlite3_close(db);
        return std::nullopt;
    }
    SqliteDatabase database(db);
    database.in_memory_ = true;
    if (!CopyInto(db, "main", path)) return std::nullopt;
    return database;
}

bool SqliteDatabase::Attach(const std::string& path, const std::string& schema) {
    if (db_ == nullptr) return false;
    if (in_memory_) {
        if (!Change("ATTACH DATABASE ':memory:' AS \"" + schema + "\"")) return false;
        return CopyInto(db_, schema.c_str(), path);
    }
    return Change("ATTACH DATABASE ?1 AS \"" + schema + "\"", {path}).has_value();
}

bool SqliteDatabase::Execute(const std::string& sql) {
    return db_ != nullptr && ::sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::optional<std::int64_t> SqliteDatabase::Change(const std::string& sql,
                                                   const std::vector<std::string>& texts) {
    if (db_ == nullptr) return std::nullopt;
    Statement statement(db_, sql);
    if (statement.Get() == nullptr) return std::nullopt;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        if (::sqlite3_bind_text(statement.Get(), static_cast<int>(i + 1), texts[i].c_str(),
                                static_cast<int>(texts[i].size()), SQLITE_TRANSIENT) != SQLITE_OK) {
            return std::nullopt;
        }
    }
    int step = SQLITE_ROW;
    while (step == SQLITE_ROW) step = ::sqlite3_step(statement.Get());
    if (step != SQLITE_DONE) return std::nullopt;
    return ::sqlite3_changes64(db_);
}

std::optional<std::int64_t> SqliteDatabase::Number(const std::string& sql) {
    if (db_ == nullptr) return std::nullopt;
    Statement statement(db_, sql);
    if (statement.Get() == nullptr || ::sqlite3_step(statement.Get()) != SQLITE_ROW) return std::nullopt;
    return ::sqlite3_column_int64(statement.Get(), 0);
}

bool SqliteDatabase::HasTable(const std::string& schema, const std::string& table) {
    if (db_ == nullptr) return false;
    Statement statement(db_, "SELECT 1 FROM \"" + schema + "\".sqlite_master WHERE type='table' AND name=?1");
    if (statement.Get() == nullptr) return false;
    ::sqlite3_bind_text(statement.Get(), 1, table.c_str(), static_cast<int>(table.size()), SQLITE_TRANSIENT);
    return ::sqlite3_step(statement.Get()) == SQLITE_ROW;
}

bool SqliteDatabase::Compact() {
    if (db_ == nullptr) return false;
    if (in_memory_) return true;
    // VACUUM rebuilds every attached file too only when named; each schema in turn.
    bool done = Execute("VACUUM");
    std::vector<std::string> attached;
    {
        Statement list(db_, "PRAGMA database_list");
        while (list.Get() != nullptr && ::sqlite3_step(list.Get()) == SQLITE_ROW) {
            const auto* name = reinterpret_cast<const char*>(::sqlite3_column_text(list.Get(), 1));
            if (name != nullptr && std::string(name) != "main" && std::string(name) != "temp") {
                attached.emplace_back(name);
            }
        }
    }
    for (const std::string& schema : attached) done = Execute("VACUUM \"" + schema + "\"") && done;
    // A database in write-ahead-log mode would keep the old pages in its log until the next checkpoint.
    Execute("PRAGMA main.wal_checkpoint(TRUNCATE)");
    for (const std::string& schema : attached) Execute("PRAGMA \"" + schema + "\".wal_checkpoint(TRUNCATE)");
    return done;
}

}  // namespace vestrel::cleaner

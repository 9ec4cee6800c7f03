// A browser's database file through SQLite: opened read-only to count, or for writing to delete rows so
// that nothing of them stays in the file (secure_delete during the edit, VACUUM after it); and a copy in
// memory, where a preview runs the very edit a clean would run without touching the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct sqlite3;

namespace vestrel::cleaner {

class SqliteDatabase {
  public:
    SqliteDatabase() = default;
    ~SqliteDatabase();
    SqliteDatabase(SqliteDatabase&& other) noexcept;
    SqliteDatabase& operator=(SqliteDatabase&& other) noexcept;
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // The file for reading only; nothing when it cannot be opened or is no database. Never waits for a
    // lock: a database that is busy counts as not opened.
    static std::optional<SqliteDatabase> OpenReadOnly(const std::string& path);
    // The file for an edit, with secure_delete on, so deleted rows are overwritten with zeros.
    static std::optional<SqliteDatabase> OpenForEdit(const std::string& path);
    // A database in memory holding a copy of the file's content.
    static std::optional<SqliteDatabase> CopyInMemory(const std::string& path);

    // Attaches another file as `schema`: for an edit the file itself, for a copy in memory a copy of it.
    bool Attach(const std::string& path, const std::string& schema);

    bool IsOpen() const { return db_ != nullptr; }
    // Runs statements that return no rows; false on the first error.
    bool Execute(const std::string& sql);
    // Runs one statement with texts bound to its ?1, ?2, ... parameters; the rows it changed.
    std::optional<std::int64_t> Change(const std::string& sql, const std::vector<std::string>& texts = {});
    // The first column of the first row of a query, as a number.
    std::optional<std::int64_t> Number(const std::string& sql);
    bool HasTable(const std::string& schema, const std::string& table);
    // Ends an edit: VACUUM, so free pages holding deleted rows go, and the write-ahead log emptied.
    bool Compact();
    void Close();

  private:
    explicit SqliteDatabase(sqlite3* db) : db_(db) {}
    bool in_memory_ = false;
    sqlite3* db_ = nullptr;
};

}  // namespace vestrel::cleaner

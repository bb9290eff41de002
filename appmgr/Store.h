// The reference application manager's store: one SQLite database in WAL mode
// with foreign keys on, its schema brought up to date by numbered migrations
// (PRAGMA user_version) when it is opened.
//
// Statements are prepared once and cached per SQL text. SQL failures inside a
// request raise StoreError, which the dispatcher turns into an error response
// after rolling the request's transaction back; nothing escapes the server.
//
// Thread safety: one connection guarded by mutex(); whoever runs statements
// holds it (the dispatcher holds it for a whole request).
#ifndef EVTASK_APPMGR_STORE_H
#define EVTASK_APPMGR_STORE_H

#include <cstdint>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace evtask {
namespace appmgr {

class StoreError : public std::runtime_error {
 public:
  explicit StoreError(const std::string& what) : std::runtime_error(what) {}
};

class Store {
 public:
  // The schema version migrations bring a database to.
  static const int kSchemaVersion;
  // Result of open() when the database cannot be used.
  static constexpr int kOpenFailed = 0x4A0003;

  Store();
  ~Store();

  // Opens (creating when missing) the database at `path` and migrates it.
  // Returns 0, or a non-zero code with a text in `err`. A database written by
  // a newer schema than this program knows is refused.
  int open(const std::string& path, std::string& err);
  // Finalises statements and closes the database (a WAL checkpoint runs).
  void close();
  bool isOpen() const { return m_db != nullptr; }
  int schemaVersion();

  std::mutex& mutex() { return m_mu; }
  sqlite3* db() { return m_db; }

  // Runs one or more statements without results; throws StoreError.
  void exec(const char* sql);
  // The cached statement for `sql` (a string literal), reset and unbound.
  sqlite3_stmt* prepare(const char* sql);

  void begin() { exec("BEGIN"); }
  void commit() { exec("COMMIT"); }
  // Never throws: a failed rollback leaves SQLite to undo on next open.
  void rollback();

  // Whether the database has no task and no client yet.
  bool isEmpty();

  Store(const Store&) = delete;
  Store& operator=(const Store&) = delete;

 private:
  void migrate(int from);

  sqlite3* m_db = nullptr;
  std::mutex m_mu;
  std::map<const char*, sqlite3_stmt*> m_stmts;
};

// One use of a cached statement: binds, steps and reads columns; resets the
// statement when it goes out of scope. Errors throw StoreError.
class Query {
 public:
  Query(Store& store, const char* sql);
  ~Query();

  Query& bind(int index, int64_t value);
  Query& bind(int index, const std::string& value);
  Query& bindText(int index, const char* value);  // null binds NULL
  Query& bindBlob(int index, const void* data, size_t n);

  // true while a row is available; false when done.
  bool step();
  // Runs a statement that returns no row.
  void run();

  int64_t integer(int col) const;
  std::string text(int col) const;
  bool isNull(int col) const;
  // Copies a blob column into `out` of `n` bytes (zero-filled when shorter).
  void blob(int col, void* out, size_t n) const;

  int64_t lastInsertId() const;
  int changes() const;

  Query(const Query&) = delete;
  Query& operator=(const Query&) = delete;

 private:
  Store& m_store;
  sqlite3_stmt* m_stmt;
};

}  // namespace appmgr
}  // namespace evtask

#endif  // EVTASK_APPMGR_STORE_H

#include "appmgr/Store.h"

#include <sqlite3.h>

#include <cstring>

namespace evtask {
namespace appmgr {

namespace {

// Migration i brings the schema from version i to i + 1. Append new steps;
// never edit a released one, databases in the field were built by it.
const char* const kMigrations[] = {
    // 0 -> 1: the task rows, their options and files, jobs, the catalogue
    // lists, clients with their facts, and global parameters.
    R"SQL(
CREATE TABLE tasks(
  task_id INTEGER PRIMARY KEY,
  field1 INTEGER NOT NULL DEFAULT 0,
  flags INTEGER NOT NULL DEFAULT 0,
  status INTEGER NOT NULL DEFAULT 0,
  field2 INTEGER NOT NULL DEFAULT 0,
  field3 INTEGER NOT NULL DEFAULT 0,
  field4 INTEGER NOT NULL DEFAULT 0,
  field5 INTEGER NOT NULL DEFAULT 0,
  field6 INTEGER NOT NULL DEFAULT 0,
  field64 INTEGER NOT NULL DEFAULT 0,
  description TEXT NOT NULL DEFAULT '',
  xml_options TEXT,
  extended_options TEXT,
  bit_options INTEGER NOT NULL DEFAULT 0,
  is_default INTEGER NOT NULL DEFAULT 0);
CREATE TABLE subtasks(
  sub_task_id INTEGER PRIMARY KEY,
  task_id INTEGER NOT NULL REFERENCES tasks(task_id) ON DELETE CASCADE,
  sub_task_type INTEGER NOT NULL DEFAULT 0,
  operation_type INTEGER NOT NULL DEFAULT 0,
  field4 INTEGER NOT NULL DEFAULT 0,
  schedule_pattern TEXT);
CREATE INDEX subtasks_task ON subtasks(task_id);
CREATE TABLE entities(
  id INTEGER PRIMARY KEY,
  task_id INTEGER NOT NULL REFERENCES tasks(task_id) ON DELETE CASCADE,
  sub_task_id INTEGER NOT NULL DEFAULT 0,
  field0 INTEGER NOT NULL DEFAULT 0,
  field1 INTEGER NOT NULL DEFAULT 0,
  client_group_id INTEGER NOT NULL DEFAULT 0,
  client_id INTEGER NOT NULL DEFAULT 0,
  app_type_id INTEGER NOT NULL DEFAULT 0,
  instance_id INTEGER NOT NULL DEFAULT 0,
  backupset_id INTEGER NOT NULL DEFAULT 0,
  subclient_id INTEGER NOT NULL DEFAULT 0,
  field9 INTEGER NOT NULL DEFAULT 0,
  field10 INTEGER NOT NULL DEFAULT 0);
CREATE INDEX entities_task ON entities(task_id, sub_task_id, id);
CREATE TABLE patterns(
  id INTEGER PRIMARY KEY,
  task_id INTEGER NOT NULL REFERENCES tasks(task_id) ON DELETE CASCADE,
  text1 TEXT, text2 TEXT, text3 TEXT,
  fields BLOB NOT NULL);
CREATE INDEX patterns_task ON patterns(task_id, id);
CREATE TABLE option_texts(
  task_id INTEGER NOT NULL REFERENCES tasks(task_id) ON DELETE CASCADE,
  option_key INTEGER NOT NULL,
  value TEXT NOT NULL,
  PRIMARY KEY(task_id, option_key));
CREATE TABLE options(
  id INTEGER PRIMARY KEY,
  task_id INTEGER NOT NULL REFERENCES tasks(task_id) ON DELETE CASCADE,
  option_id INTEGER NOT NULL,
  type INTEGER NOT NULL,
  value TEXT NOT NULL);
CREATE INDEX options_task ON options(task_id, option_id);
CREATE TABLE default_options(
  id INTEGER PRIMARY KEY,
  option_id INTEGER NOT NULL,
  type INTEGER NOT NULL,
  value TEXT NOT NULL);
CREATE INDEX default_options_id ON default_options(option_id);
CREATE TABLE files(
  id INTEGER PRIMARY KEY,
  task_id INTEGER NOT NULL REFERENCES tasks(task_id) ON DELETE CASCADE,
  file_id INTEGER NOT NULL,
  type INTEGER NOT NULL,
  value TEXT NOT NULL);
CREATE INDEX files_task ON files(task_id, value);
CREATE TABLE job_requests(
  request_id INTEGER PRIMARY KEY,
  created_ms INTEGER NOT NULL,
  origin TEXT NOT NULL DEFAULT '');
CREATE TABLE jobs(
  job_id INTEGER PRIMARY KEY,
  request_id INTEGER REFERENCES job_requests(request_id),
  task_id INTEGER NOT NULL,
  sub_task_id INTEGER NOT NULL DEFAULT 0,
  status TEXT NOT NULL,
  progress INTEGER NOT NULL DEFAULT 0,
  detail TEXT NOT NULL DEFAULT '',
  start_ms INTEGER NOT NULL,
  duration_ms INTEGER NOT NULL,
  final_status TEXT NOT NULL,
  end_ms INTEGER,
  stats TEXT NOT NULL DEFAULT '');
CREATE INDEX jobs_task ON jobs(task_id, job_id);
CREATE TABLE compliance_options(
  id INTEGER PRIMARY KEY,
  ref_id INTEGER NOT NULL,
  kind INTEGER NOT NULL,
  value INTEGER NOT NULL,
  text TEXT);
CREATE TABLE record_centers(
  id INTEGER PRIMARY KEY,
  number1 INTEGER NOT NULL DEFAULT 0,
  text1 TEXT, text2 TEXT, text3 TEXT, text4 TEXT, text5 TEXT,
  number2 INTEGER NOT NULL DEFAULT 0,
  text6 TEXT, text7 TEXT,
  number3 INTEGER NOT NULL DEFAULT 0);
CREATE TABLE record_connectors(
  id INTEGER PRIMARY KEY,
  number1 INTEGER NOT NULL DEFAULT 0,
  text1 TEXT,
  number2 INTEGER NOT NULL DEFAULT 0,
  text2 TEXT, text3 TEXT, text4 TEXT,
  number3 INTEGER NOT NULL DEFAULT 0);
CREATE TABLE legal_holds(
  id INTEGER PRIMARY KEY,
  text1 TEXT, text2 TEXT, text3 TEXT,
  value12 BLOB,
  text4 TEXT,
  value8 BLOB);
CREATE TABLE tags(
  id INTEGER PRIMARY KEY,
  text1 TEXT, text2 TEXT, text3 TEXT, text4 TEXT, text5 TEXT,
  number INTEGER NOT NULL DEFAULT 0);
CREATE TABLE clients(
  client_id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,
  is_nas INTEGER NOT NULL DEFAULT 0,
  is_non_ndmp INTEGER NOT NULL DEFAULT 0,
  version TEXT NOT NULL DEFAULT '',
  update_status INTEGER NOT NULL DEFAULT 0);
CREATE TABLE app_types(
  app_type_id INTEGER PRIMARY KEY,
  name TEXT NOT NULL);
CREATE TABLE instances(
  instance_id INTEGER PRIMARY KEY,
  client_id INTEGER NOT NULL REFERENCES clients(client_id),
  app_type_id INTEGER NOT NULL REFERENCES app_types(app_type_id),
  name TEXT NOT NULL,
  cluster_type INTEGER NOT NULL DEFAULT 0,
  cloud_apps_type INTEGER NOT NULL DEFAULT 0);
CREATE TABLE storage_policies(
  storage_policy_id INTEGER PRIMARY KEY,
  name TEXT NOT NULL);
CREATE TABLE backup_sets(
  backupset_id INTEGER PRIMARY KEY,
  instance_id INTEGER NOT NULL REFERENCES instances(instance_id),
  name TEXT NOT NULL);
CREATE TABLE subclients(
  subclient_id INTEGER PRIMARY KEY,
  backupset_id INTEGER NOT NULL REFERENCES backup_sets(backupset_id),
  name TEXT NOT NULL,
  storage_policy_id INTEGER REFERENCES storage_policies(storage_policy_id));
CREATE TABLE global_params(
  name TEXT PRIMARY KEY,
  value TEXT NOT NULL);
)SQL",
    // 1 -> 2: what task creation keeps beyond the binary task row: the task's
    // type, name, owner and disabled flag, and per subtask its name and the
    // subtask info XML as created (pattern and job options included).
    R"SQL(
ALTER TABLE tasks ADD COLUMN task_type INTEGER NOT NULL DEFAULT 0;
ALTER TABLE tasks ADD COLUMN name TEXT NOT NULL DEFAULT '';
ALTER TABLE tasks ADD COLUMN owner INTEGER NOT NULL DEFAULT 0;
ALTER TABLE tasks ADD COLUMN disabled INTEGER NOT NULL DEFAULT 0;
ALTER TABLE subtasks ADD COLUMN name TEXT NOT NULL DEFAULT '';
ALTER TABLE subtasks ADD COLUMN info_xml TEXT;
)SQL",
};

const int kMigrationCount = static_cast<int>(sizeof kMigrations / sizeof kMigrations[0]);

}  // namespace

const int Store::kSchemaVersion = kMigrationCount;

Store::Store() = default;
Store::~Store() { close(); }

int Store::open(const std::string& path, std::string& err) {
  close();
  sqlite3* db = nullptr;
  int rc = sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                           nullptr);
  if (rc != SQLITE_OK) {
    err = "cannot open database " + path + ": " + (db ? sqlite3_errmsg(db) : sqlite3_errstr(rc));
    sqlite3_close(db);
    return kOpenFailed;
  }
  m_db = db;
  sqlite3_busy_timeout(m_db, 5000);
  try {
    // WAL keeps readers and the writer apart and survives a killed process
    // with every committed transaction; FULL syncs each commit, so an
    // acknowledged write also survives a power cut.
    // The server owns its database: holding the lock for the connection's
    // life keeps a second server off the file and spares a file-lock
    // system call on every transaction.
    exec("PRAGMA locking_mode=EXCLUSIVE");
    exec("PRAGMA journal_mode=WAL");
    exec("PRAGMA synchronous=FULL");
    exec("PRAGMA foreign_keys=ON");
    const int version = schemaVersion();
    if (version > kSchemaVersion) {
      err = "database " + path + " has schema version " + std::to_string(version) + ", this program knows up to " +
            std::to_string(kSchemaVersion);
      close();
      return kOpenFailed;
    }
    if (version < kSchemaVersion) migrate(version);
  } catch (const StoreError& e) {
    err = "cannot prepare database " + path + ": " + e.what();
    close();
    return kOpenFailed;
  }
  return 0;
}

void Store::migrate(int from) {
  for (int v = from; v < kSchemaVersion; ++v) {
    begin();
    try {
      exec(kMigrations[v]);
      exec(("PRAGMA user_version=" + std::to_string(v + 1)).c_str());
      commit();
    } catch (...) {
      rollback();
      throw;
    }
  }
}

int Store::schemaVersion() {
  sqlite3_stmt* s = prepare("PRAGMA user_version");
  int v = 0;
  if (sqlite3_step(s) == SQLITE_ROW) v = sqlite3_column_int(s, 0);
  sqlite3_reset(s);
  return v;
}

void Store::close() {
  for (auto& kv : m_stmts) sqlite3_finalize(kv.second);
  m_stmts.clear();
  if (m_db != nullptr) {
    sqlite3_close(m_db);
    m_db = nullptr;
  }
}

void Store::exec(const char* sql) {
  if (m_db == nullptr) throw StoreError("database is not open");
  char* msg = nullptr;
  if (sqlite3_exec(m_db, sql, nullptr, nullptr, &msg) != SQLITE_OK) {
    std::string text = msg != nullptr ? msg : sqlite3_errmsg(m_db);
    sqlite3_free(msg);
    throw StoreError(text);
  }
}

void Store::rollback() {
  if (m_db != nullptr && !sqlite3_get_autocommit(m_db)) sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

sqlite3_stmt* Store::prepare(const char* sql) {
  if (m_db == nullptr) throw StoreError("database is not open");
  auto it = m_stmts.find(sql);
  if (it != m_stmts.end()) return it->second;
  sqlite3_stmt* s = nullptr;
  if (sqlite3_prepare_v3(m_db, sql, -1, SQLITE_PREPARE_PERSISTENT, &s, nullptr) != SQLITE_OK) {
    throw StoreError(std::string(sqlite3_errmsg(m_db)) + " in: " + sql);
  }
  m_stmts[sql] = s;
  return s;
}

bool Store::isEmpty() {
  Query q(*this, "SELECT (SELECT count(*) FROM tasks) + (SELECT count(*) FROM clients)");
  return q.step() && q.integer(0) == 0;
}

Query::Query(Store& store, const char* sql) : m_store(store), m_stmt(store.prepare(sql)) {}

Query::~Query() {
  sqlite3_reset(m_stmt);
  sqlite3_clear_bindings(m_stmt);
}

Query& Query::bind(int index, int64_t value) {
  sqlite3_bind_int64(m_stmt, index, value);
  return *this;
}

Query& Query::bind(int index, const std::string& value) {
  sqlite3_bind_text(m_stmt, index, value.data(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  return *this;
}

Query& Query::bindText(int index, const char* value) {
  if (value == nullptr) {
    sqlite3_bind_null(m_stmt, index);
  } else {
    sqlite3_bind_text(m_stmt, index, value, -1, SQLITE_TRANSIENT);
  }
  return *this;
}

Query& Query::bindBlob(int index, const void* data, size_t n) {
  sqlite3_bind_blob(m_stmt, index, data, static_cast<int>(n), SQLITE_TRANSIENT);
  return *this;
}

bool Query::step() {
  const int rc = sqlite3_step(m_stmt);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  throw StoreError(sqlite3_errmsg(m_store.db()));
}

void Query::run() {
  while (step()) {
  }
}

int64_t Query::integer(int col) const { return sqlite3_column_int64(m_stmt, col); }

std::string Query::text(int col) const {
  const unsigned char* p = sqlite3_column_text(m_stmt, col);
  return p != nullptr ? std::string(reinterpret_cast<const char*>(p), sqlite3_column_bytes(m_stmt, col))
                      : std::string();
}

bool Query::isNull(int col) const { return sqlite3_column_type(m_stmt, col) == SQLITE_NULL; }

void Query::blob(int col, void* out, size_t n) const {
  std::memset(out, 0, n);
  const void* p = sqlite3_column_blob(m_stmt, col);
  const size_t have = static_cast<size_t>(sqlite3_column_bytes(m_stmt, col));
  if (p != nullptr) std::memcpy(out, p, have < n ? have : n);
}

int64_t Query::lastInsertId() const { return sqlite3_last_insert_rowid(m_store.db()); }
int Query::changes() const { return sqlite3_changes(m_store.db()); }

}  // namespace appmgr
}  // namespace evtask

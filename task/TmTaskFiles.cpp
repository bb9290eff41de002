#include "task/TmTaskFiles.h"

#include <unordered_map>

#include "platform/YmErrors.h"

// Maps a value text to the first entry with that text. The entries are owned
// by the cache's list; the index only points at them. Texts are whole texts,
// embedded zero bytes included, exactly as the list's removal compares them:
// an index cut at the first zero byte would still find an entry that removal
// no longer matches.
class TmFileIndex {
 public:
  static const std::string& textOf(const TaskFile& entry) { return entry.m_value; }

  const TaskFile* find(const std::string& text) const {
    const auto it = m_first.find(text);
    return it == m_first.end() ? nullptr : it->second;
  }

  // An entry appended at the end is the first of its text only when no
  // earlier entry has that text.
  void appended(const TaskFile* entry) { m_first.emplace(textOf(*entry), entry); }

  void clear() { m_first.clear(); }

  void rebuild(const TaskFileList& list) {
    m_first.clear();
    m_first.reserve(list.getList().size());
    for (const TaskFile* entry : list.getList()) appended(entry);
  }

 private:
  std::unordered_map<std::string, const TaskFile*> m_first;
};

namespace {

bool loadSucceeded(int rc) { return rc == 0 || rc == YM_DB_NODATA; }

}  // namespace

TmTaskFiles::TmTaskFiles() : m_filesInitialized(false), m_index(new TmFileIndex()) {}

TmTaskFiles::TmTaskFiles(const TmTaskFiles& other)
    : m_filesInitialized(other.m_filesInitialized), m_files(other.m_files), m_index(new TmFileIndex()) {
  m_index->rebuild(m_files);
}

TmTaskFiles::~TmTaskFiles() {
  m_files.cleanUpList();
  delete m_index;
}

TmTaskFiles& TmTaskFiles::operator=(const TmTaskFiles& other) {
  if (this != &other) {
    m_filesInitialized = other.m_filesInitialized;
    m_files = other.m_files;
    m_index->rebuild(m_files);
  }
  return *this;
}

int TmTaskFiles::delFromFileCache(TaskFile file) {
  m_files.delFromFileList(file);
  // Removal is linear anyway; rebuilding keeps the index exact whatever
  // the list's comparison matched.
  m_index->rebuild(m_files);
  return 0;
}

int TmTaskFiles::delFromFileCache(std::string name) {
  m_files.delFromFileList(name);
  m_index->rebuild(m_files);
  return 0;
}

int TmTaskFiles::updateFileCache(const TaskFile& file) {
  // An entry with the same text already carries that text: nothing changes.
  if (m_index->find(TmFileIndex::textOf(file)) == nullptr) addToFileCache(file);
  return 0;
}

bool TmTaskFiles::isFile(std::string name) { return m_index->find(name) != nullptr; }

int TmTaskFiles::getTaskFiles(TaskFileList& out, int fileType, void* event) {
  const int rc = initFiles(event);
  if (rc != 0) return rc;
  return copyCacheTo(out, fileType);
}

int TmTaskFiles::getTaskFile(TaskFile& file, void* event) {
  int rc = 0;
  const TaskFile* found = getTaskFile(TmFileIndex::textOf(file), rc, event);
  if (found == nullptr) return rc;
  file.setValue(*found);
  return 0;
}

const TaskFile* TmTaskFiles::getTaskFile(std::string name, int& result, void* event) {
  result = initFiles(event);
  if (!loadSucceeded(result)) return nullptr;
  const TaskFile* found = m_index->find(name);
  result = found != nullptr ? 0 : YM_PROP_NOT_FOUND;
  return found;
}

int TmTaskFiles::setTaskFile(const TaskFile& file, void* event) {
  TaskFileList list;
  list.addToFileList(file);
  const int rc = setFiles(list, event);
  if (rc != 0) return rc;
  return updateFileCache(file);
}

int TmTaskFiles::removeTaskFile(const TaskFile& file, void* event) {
  TaskFileList list;
  list.addToFileList(file);
  const int rc = removeFiles(list, event);
  if (rc == 0) delFromFileCache(file);
  return rc;
}

int TmTaskFiles::removeTaskFile(std::string name, void* event) {
  const int rc = removeFiles(std::vector<std::string>(1, name), event);
  if (rc == 0) delFromFileCache(name);
  return rc;
}

bool TmTaskFiles::areFilesInitialized() { return m_filesInitialized; }
void TmTaskFiles::setFilesInitialized() { m_filesInitialized = true; }
void TmTaskFiles::resetFilesInitialized() { m_filesInitialized = false; }

void TmTaskFiles::clearFiles() {
  m_files.cleanUpList();
  m_index->clear();
}

int TmTaskFiles::addToFileCache(const TaskFile& file) {
  m_files.addToFileList(file);
  m_index->appended(m_files.getList().back());
  return 0;
}

int TmTaskFiles::addToFileCache(unsigned long long optionId, std::string value, int type) {
  m_files.addToFileList(optionId, value, type);
  m_index->appended(m_files.getList().back());
  return 0;
}

int TmTaskFiles::copyCacheTo(TaskFileList& out, int fileType) {
  for (const TaskFile* entry : m_files.getList()) {
    if (fileType == 0 || entry->getType() == fileType) out.addToFileList(*entry);
  }
  return 0;
}

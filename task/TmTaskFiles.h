// The file cache of a task object: the task's file entries, in arrival
// order, identified by their value text (not by their id).
//
// TmTaskFiles implements every cache-side operation and leaves loading and
// writing (initFiles, setFiles, removeFiles) to the task class. Lookups by
// text go through an index from value text to the first entry with that
// text, so they cost the same whatever the size of the cache; every change
// keeps the index right. Texts are compared as C texts (up to the first
// zero byte), which is how callers read them back.
//
// Results: 0 for success, YM_PROP_NOT_FOUND when the wanted entry is not
// cached, otherwise the code of the load or write operation. A load result of
// YM_DB_NODATA counts as a successful load for the single-entry lookups. The
// trailing void* is the caller's event argument, passed on unread.
//
// Ownership: each object owns its cache and index. Returned pointers point
// into the cache and stay valid until it next changes.
//
// Thread safety: none; an object is used by one thread at a time.
#ifndef EVTASK_TASK_TMTASKFILES_H
#define EVTASK_TASK_TMTASKFILES_H

#include <string>
#include <vector>

#include "evtask/export.h"
#include "records/TaskFile.h"

class TmFileIndex;

// The virtual order below is part of the ABI.
class EVTASK_EXPORT TmTaskFiles {
 public:
  // Starts unloaded with an empty cache.
  TmTaskFiles();
  // Copies the loaded flag and makes a deep copy of the cache.
  TmTaskFiles(const TmTaskFiles& other);
  virtual ~TmTaskFiles();

  // As the copy constructor; assigning an object to itself changes nothing.
  virtual TmTaskFiles& operator=(const TmTaskFiles& other);

  // Remove every entry with that value text; return 0.
  virtual int delFromFileCache(TaskFile file);
  virtual int delFromFileCache(std::string name);
  // When an entry with file's text exists it keeps its place (its text is
  // set to the same text); otherwise a copy of file is appended. Returns 0.
  virtual int updateFileCache(const TaskFile& file);
  // True when an entry with that text exists; loads nothing.
  virtual bool isFile(std::string name);
  // Loads the files when needed and appends a copy of every entry of
  // `fileType` (every entry for 0) to `out`, in cache order. Any load result
  // other than 0, YM_DB_NODATA included, is returned.
  virtual int getTaskFiles(TaskFileList& out, int fileType, void* event);
  // Existence test: loads the files when needed and returns 0 when an entry
  // with file's text exists, YM_PROP_NOT_FOUND otherwise.
  virtual int getTaskFile(TaskFile& file, void* event);
  // Writes the entry through setFiles; on success updateFileCache.
  virtual int setTaskFile(const TaskFile& file, void* event);
  // Removes the entry through removeFiles; on success every cached entry
  // with its text is dropped.
  virtual int removeTaskFile(const TaskFile& file, void* event);
  // As getTaskFile by text; returns the cached entry or null, with the
  // result code in `result`.
  virtual const TaskFile* getTaskFile(std::string name, int& result, void* event);
  virtual int removeTaskFile(std::string name, void* event);

  // Loading and writing, supplied by the task class.
  virtual int initFiles(void* event) = 0;
  virtual int setFiles(TaskFileList files, void* event) = 0;
  virtual int removeFiles(TaskFileList files, void* event) = 0;
  virtual int removeFiles(std::vector<std::string> names, void* event) = 0;

  // The files-loaded flag. Clearing it does not empty the cache.
  bool areFilesInitialized();
  void setFilesInitialized();
  void resetFilesInitialized();

  void clearFiles();
  // Append one entry; return 0.
  int addToFileCache(const TaskFile& file);
  int addToFileCache(unsigned long long optionId, std::string value, int type);
  // Append a copy of every entry of `fileType` (every entry for 0) to `out`,
  // in cache order, without emptying it; return 0.
  int copyCacheTo(TaskFileList& out, int fileType);

 private:
  bool m_filesInitialized;
  TaskFileList m_files;
  // Index of m_files: value text to its first entry. Owned.
  TmFileIndex* m_index;
};

#endif  // EVTASK_TASK_TMTASKFILES_H

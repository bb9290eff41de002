// File entries of a task and the owning list that carries them.
//
// A TaskFile is a value record {64-bit id, file type code, value text}; the
// text is a path, a name or another text. For entries the library creates
// itself, the id and the type both carry the file type code (150001 and up).
//
// A TaskFileList owns its elements: each is a heap copy made by the list and
// deleted by it. Unlike option lists, removal compares the value text.
//
// Thread safety: none. A record or list is used by one thread at a time;
// const access from several threads is safe.
#ifndef EVTASK_TASK_TASKFILE_H
#define EVTASK_TASK_TASKFILE_H

#include <string>
#include <vector>

#include "evtask/export.h"

class EVTASK_EXPORT TaskFile {
 public:
  TaskFile(unsigned long long optionId, const std::string& value, int type);
  TaskFile(const TaskFile& other);
  TaskFile& operator=(const TaskFile& other);
  ~TaskFile();

  unsigned long long getOptionId() const;
  void setOptionId(unsigned long long optionId);
  int getType() const;

  // The value text; valid until the value is changed or the record is
  // destroyed.
  const char* getValue() const;

  void setValue(const std::string& value);
  // A null pointer sets the empty text.
  void setValue(const char* value);
  // Takes only other's value text; the id and the type stay.
  void setValue(const TaskFile& other);

 private:
  // Let the list and the task's file cache index compare whole value texts,
  // embedded zero bytes included, so that lookup and removal agree.
  friend class TaskFileList;
  friend class TmFileIndex;

  unsigned long long m_optionId;
  int m_type;
  std::string m_value;
};

class EVTASK_EXPORT TaskFileList {
 public:
  typedef std::vector<const TaskFile*> List;
  typedef List::iterator iterator;
  typedef List::const_iterator const_iterator;

  TaskFileList();
  // Deep copy: one new record per element of other, in order.
  TaskFileList(const TaskFileList& other);
  // Self-assignment changes nothing; otherwise cleans the list up and appends
  // a copy of every element of other, in order.
  TaskFileList& operator=(const TaskFileList& other);
  ~TaskFileList();

  // Deletes every element and leaves the list empty.
  void cleanUpList();

  // Append a new record / a copy of the record.
  void addToFileList(unsigned long long optionId, std::string value, int type);
  void addToFileList(const TaskFile& file);

  // Remove and delete every element whose value text equals the argument's
  // value text / equals name (id and type are not compared). The argument
  // may be an element of this list.
  void delFromFileList(const TaskFile& file);
  void delFromFileList(std::string name);

  // Appends a copy of each record in [first, last), in order. The range may
  // belong to this list itself.
  void insertAtEnd(const_iterator first, const_iterator last);

  // Iteration over the element pointers. Callers read through these and
  // never delete or replace elements; the pointers become invalid at the
  // next cleanUpList, removal, assignment or destruction.
  iterator begin();
  iterator end();
  const_iterator begin() const;
  const_iterator end() const;
  const List& getList() const;

 private:
  List m_list;
};

#endif  // EVTASK_TASK_TASKFILE_H

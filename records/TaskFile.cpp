#include "records/TaskFile.h"

#include <memory>
#include <utility>

TaskFile::TaskFile(unsigned long long optionId, const std::string& value, int type)
    : m_optionId(optionId), m_type(type), m_value(value) {}

TaskFile::TaskFile(const TaskFile& other) = default;

TaskFile& TaskFile::operator=(const TaskFile& other) {
  if (this != &other) {
    m_optionId = other.m_optionId;
    m_type = other.m_type;
    m_value = other.m_value;
  }
  return *this;
}

TaskFile::~TaskFile() = default;

unsigned long long TaskFile::getOptionId() const { return m_optionId; }

void TaskFile::setOptionId(unsigned long long optionId) { m_optionId = optionId; }

int TaskFile::getType() const { return m_type; }

const char* TaskFile::getValue() const { return m_value.c_str(); }

void TaskFile::setValue(const std::string& value) { m_value = value; }

void TaskFile::setValue(const char* value) { m_value = value != nullptr ? value : ""; }

void TaskFile::setValue(const TaskFile& other) { m_value = other.m_value; }

TaskFileList::TaskFileList() = default;

TaskFileList::TaskFileList(const TaskFileList& other) {
  insertAtEnd(other.m_list.begin(), other.m_list.end());
}

TaskFileList& TaskFileList::operator=(const TaskFileList& other) {
  if (this != &other) {
    cleanUpList();
    insertAtEnd(other.m_list.begin(), other.m_list.end());
  }
  return *this;
}

TaskFileList::~TaskFileList() { cleanUpList(); }

void TaskFileList::cleanUpList() {
  for (const TaskFile* file : m_list) delete file;
  m_list.clear();
}

void TaskFileList::addToFileList(unsigned long long optionId, std::string value, int type) {
  std::unique_ptr<TaskFile> file(new TaskFile(optionId, value, type));
  m_list.push_back(file.get());
  file.release();
}

void TaskFileList::addToFileList(const TaskFile& file) {
  std::unique_ptr<TaskFile> copy(new TaskFile(file));
  m_list.push_back(copy.get());
  copy.release();
}

void TaskFileList::delFromFileList(const TaskFile& file) {
  // Copy the text first: the argument may be one of the elements deleted
  // below.
  delFromFileList(file.m_value);
}

void TaskFileList::delFromFileList(std::string name) {
  for (List::iterator it = m_list.begin(); it != m_list.end();) {
    if ((*it)->m_value == name) {
      delete *it;
      it = m_list.erase(it);
    } else {
      ++it;
    }
  }
}

void TaskFileList::insertAtEnd(const_iterator first, const_iterator last) {
  // Copies are made before anything is appended, so a range of this list's
  // own elements is not invalidated by the growth of the list.
  List copies;
  copies.reserve(static_cast<List::size_type>(last - first));
  try {
    for (const_iterator it = first; it != last; ++it) copies.push_back(new TaskFile(**it));
    m_list.reserve(m_list.size() + copies.size());
  } catch (...) {
    for (const TaskFile* file : copies) delete file;
    throw;
  }
  m_list.insert(m_list.end(), copies.begin(), copies.end());
}

TaskFileList::iterator TaskFileList::begin() { return m_list.begin(); }

TaskFileList::iterator TaskFileList::end() { return m_list.end(); }

TaskFileList::const_iterator TaskFileList::begin() const { return m_list.begin(); }

TaskFileList::const_iterator TaskFileList::end() const { return m_list.end(); }

const TaskFileList::List& TaskFileList::getList() const { return m_list; }

#include "records/TaskOption.h"

#include <memory>

#include "util/BasicConversion.h"

namespace {

// Numeric readings start from 0 so that a text without a number reads 0
// rather than whatever the scan left behind.
template <typename T>
T scanValue(const std::string& text) {
  T value = 0;
  BasicConversion::fromString(value, text);
  return value;
}

}  // namespace

TaskOption::TaskOption(unsigned long long optionId, const std::string& value, int type)
    : m_optionId(optionId), m_type(type), m_value(value) {}

TaskOption::TaskOption(const TaskOption& other) = default;

TaskOption& TaskOption::operator=(const TaskOption& other) {
  if (this != &other) {
    m_optionId = other.m_optionId;
    m_type = other.m_type;
    m_value = other.m_value;
  }
  return *this;
}

TaskOption::~TaskOption() = default;

unsigned long long TaskOption::getOptionId() const { return m_optionId; }

void TaskOption::setOptionId(unsigned long long optionId) { m_optionId = optionId; }

int TaskOption::getType() const { return m_type; }

const char* TaskOption::getValue() const { return m_value.c_str(); }

const char* TaskOption::getStringValue() const { return m_value.c_str(); }

void TaskOption::setValue(const std::string& value) { m_value = value; }

void TaskOption::setValue(const char* value) { m_value = value != nullptr ? value : ""; }

void TaskOption::setValue(const TaskOption& other) { m_value = other.m_value; }

bool TaskOption::getBooleanValue() const {
  bool value = false;
  BasicConversion::fromString(value, m_value);
  return value;
}

unsigned char TaskOption::getByteValue() const {
  unsigned char value = 0;
  BasicConversion::fromString(value, m_value);
  return value;
}

short TaskOption::getShortValue() const { return scanValue<short>(m_value); }

unsigned short TaskOption::getUshortValue() const { return scanValue<unsigned short>(m_value); }

int TaskOption::getIntegerValue() const { return scanValue<int>(m_value); }

unsigned int TaskOption::getUintegerValue() const { return scanValue<unsigned int>(m_value); }

long TaskOption::getLongValue() const { return scanValue<long>(m_value); }

unsigned long TaskOption::getUlongValue() const { return scanValue<unsigned long>(m_value); }

long long TaskOption::getLongLongValue() const { return scanValue<long long>(m_value); }

unsigned long long TaskOption::getULongLongValue() const {
  return scanValue<unsigned long long>(m_value);
}

float TaskOption::getFloatValue() const { return scanValue<float>(m_value); }

double TaskOption::getDoubleValue() const { return scanValue<double>(m_value); }

TaskOptionList::TaskOptionList() = default;

TaskOptionList::TaskOptionList(const TaskOptionList& other) {
  insertAtEnd(other.m_list.begin(), other.m_list.end());
}

TaskOptionList& TaskOptionList::operator=(const TaskOptionList& other) {
  if (this != &other) {
    cleanUpList();
    insertAtEnd(other.m_list.begin(), other.m_list.end());
  }
  return *this;
}

TaskOptionList::~TaskOptionList() { cleanUpList(); }

void TaskOptionList::cleanUpList() {
  for (const TaskOption* option : m_list) delete option;
  m_list.clear();
}

void TaskOptionList::addToOptList(unsigned long long optionId, const std::string& value, int type) {
  std::unique_ptr<TaskOption> option(new TaskOption(optionId, value, type));
  m_list.push_back(option.get());
  option.release();
}

void TaskOptionList::addToOptList(const TaskOption& option) {
  std::unique_ptr<TaskOption> copy(new TaskOption(option));
  m_list.push_back(copy.get());
  copy.release();
}

void TaskOptionList::delFromOptList(const TaskOption& option) {
  // Copy the id first: the argument may be one of the elements deleted below.
  delFromOptList(option.getOptionId());
}

void TaskOptionList::delFromOptList(unsigned long long optionId) {
  for (List::iterator it = m_list.begin(); it != m_list.end();) {
    if ((*it)->getOptionId() == optionId) {
      delete *it;
      it = m_list.erase(it);
    } else {
      ++it;
    }
  }
}

void TaskOptionList::insertAtEnd(const_iterator first, const_iterator last) {
  // Copies are made before anything is appended, so a range of this list's
  // own elements is not invalidated by the growth of the list.
  List copies;
  copies.reserve(static_cast<List::size_type>(last - first));
  try {
    for (const_iterator it = first; it != last; ++it) copies.push_back(new TaskOption(**it));
    m_list.reserve(m_list.size() + copies.size());
  } catch (...) {
    for (const TaskOption* option : copies) delete option;
    throw;
  }
  m_list.insert(m_list.end(), copies.begin(), copies.end());
}

TaskOptionList::iterator TaskOptionList::begin() { return m_list.begin(); }

TaskOptionList::iterator TaskOptionList::end() { return m_list.end(); }

TaskOptionList::const_iterator TaskOptionList::begin() const { return m_list.begin(); }

TaskOptionList::const_iterator TaskOptionList::end() const { return m_list.end(); }

const TaskOptionList::List& TaskOptionList::getList() const { return m_list; }

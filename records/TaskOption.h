// Option values of a task and the owning list that carries them.
//
// A TaskOption is a value record {64-bit option id, type code, value text}.
// Every option value is held as text; the typed readings convert the text on
// demand with the BasicConversion text forms and never look at the type code.
// The type code is stored and passed on unchanged and never validated (known
// codes: 1 text, 2 boolean, 5 short, 6 unsigned short, 7 int, 8 unsigned int,
// 9 long, 10 unsigned long, 14 long long, 15 unsigned long long; 0 only in the
// probe record with which a reader asks for an option).
//
// A TaskOptionList owns its elements: each is a heap copy made by the list
// and deleted by it. Several elements may share an option id; that is how an
// option with several values is held, one element per value, in value order.
//
// Thread safety: none. A record or list is used by one thread at a time;
// const access from several threads is safe.
#ifndef EVTASK_TASK_TASKOPTION_H
#define EVTASK_TASK_TASKOPTION_H

#include <string>
#include <vector>

#include "evtask/export.h"

class EVTASK_EXPORT TaskOption {
 public:
  TaskOption(unsigned long long optionId, const std::string& value, int type);
  TaskOption(const TaskOption& other);
  TaskOption& operator=(const TaskOption& other);
  ~TaskOption();

  unsigned long long getOptionId() const;
  void setOptionId(unsigned long long optionId);
  int getType() const;

  // Both return the value text. The pointer stays valid until the value is
  // changed or the record is destroyed.
  const char* getValue() const;
  const char* getStringValue() const;

  void setValue(const std::string& value);
  // A null pointer sets the empty text.
  void setValue(const char* value);
  // Takes only other's value text; the id and the type stay.
  void setValue(const TaskOption& other);

  // True exactly when the text is not empty, does not start with '0' and is
  // not "false" (case-sensitive).
  bool getBooleanValue() const;
  // The code of the first character of the text (the text is not parsed as
  // a number); 0 for an empty text.
  unsigned char getByteValue() const;
  // Numeric readings scan the text the way formatted input does: leading
  // white space is skipped, a sign is accepted, the number ends at the first
  // character that cannot continue it. A text that holds no number reads 0.
  short getShortValue() const;
  unsigned short getUshortValue() const;
  int getIntegerValue() const;
  unsigned int getUintegerValue() const;
  long getLongValue() const;
  unsigned long getUlongValue() const;
  long long getLongLongValue() const;
  unsigned long long getULongLongValue() const;
  float getFloatValue() const;
  double getDoubleValue() const;

 private:
  unsigned long long m_optionId;
  int m_type;
  std::string m_value;
};

class EVTASK_EXPORT TaskOptionList {
 public:
  typedef std::vector<const TaskOption*> List;
  typedef List::iterator iterator;
  typedef List::const_iterator const_iterator;

  TaskOptionList();
  // Deep copy: one new record per element of other, in order.
  TaskOptionList(const TaskOptionList& other);
  // Self-assignment changes nothing; otherwise cleans the list up and appends
  // a copy of every element of other, in order.
  TaskOptionList& operator=(const TaskOptionList& other);
  ~TaskOptionList();

  // Deletes every element and leaves the list empty.
  void cleanUpList();

  // Append a new record / a copy of the record.
  void addToOptList(unsigned long long optionId, const std::string& value, int type);
  void addToOptList(const TaskOption& option);

  // Remove and delete every element whose option id equals the argument's
  // (value and type are not compared). The argument may be an element of
  // this list.
  void delFromOptList(const TaskOption& option);
  void delFromOptList(unsigned long long optionId);

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

#endif  // EVTASK_TASK_TASKOPTION_H

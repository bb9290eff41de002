// The plain-data records: option and file values, their owning lists, and
// the task record with its eight owned path lists.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "records/TaskFile.h"
#include "records/TaskOption.h"
#include "records/TaskRecords.h"

namespace {

// "id=value" of every record, walked through the iterators.
std::string text(const TaskOptionList& list) {
  std::string r;
  for (TaskOptionList::const_iterator it = list.begin(); it != list.end(); ++it) {
    r += (r.empty() ? "" : " ") + std::to_string((*it)->getOptionId()) + "=" + (*it)->getValue();
  }
  return r;
}
std::string text(const TaskFileList& list) {
  std::string r;
  for (const TaskFile* f : list.getList()) r += (r.empty() ? "" : " ") + std::string(f->getValue());
  return r;
}

// "id type value" of a record.
template <class Record>
std::string show(const Record& r) {
  return std::to_string(r.getOptionId()) + " " + std::to_string(r.getType()) + " " + r.getValue();
}

TEST(TaskOptionTest, TypedReadingsConvertTheTextWhateverTheTypeCode) {
  for (const char* t : {"", "0", "0abc", "false"}) EXPECT_FALSE(TaskOption(1, t, 2).getBooleanValue()) << t;
  for (const char* t : {"1", "FALSE", "no", "true", " 0"}) EXPECT_TRUE(TaskOption(1, t, 2).getBooleanValue()) << t;
  // The byte is the first character, not parsed; numbers are read as far as they go.
  std::ostringstream s;
  s << TaskOption(1, "65", 1).getByteValue() + 0 << " " << TaskOption(1, "\xE9", 1).getByteValue() + 0 << " "
    << TaskOption(1, "12abc", 1).getIntegerValue() << " " << TaskOption(1, " -3x", 9).getLongValue() << " "
    << TaskOption(1, "2.5", 1).getFloatValue() << " " << TaskOption(1, "-0.125", 1).getDoubleValue();
  EXPECT_EQ("54 233 12 -3 2.5 -0.125", s.str());
  for (const char* t : {"", "abc", "-", "  "}) {
    const TaskOption o(1, t, 7);
    EXPECT_EQ(0.0, o.getShortValue() + o.getUshortValue() + o.getIntegerValue() + o.getUintegerValue() +
                       o.getLongValue() + o.getUlongValue() + o.getLongLongValue() + o.getULongLongValue() +
                       o.getFloatValue() + o.getDoubleValue())
        << "[" << t << "]";
  }
}

// setValue takes the other record's text only; copies and assignments are
// whole and independent.
TEST(TaskOptionTest, SetValueKeepsIdAndTypeAndCopiesAreIndependent) {
  TaskOption option(7, "first", 5);
  option.setValue(TaskOption(99, "second", 1));
  TaskOption copy(option), assigned(1, "x", 2);
  assigned = copy;
  TaskOption& self = assigned;
  assigned = self;
  option.setValue(static_cast<const char*>(nullptr));
  copy.setValue("changed");
  TaskFile file(150001, "/src", 150002);
  file.setValue(TaskFile(7, "/other", 3));
  EXPECT_EQ("7 5  | 7 5 second | 150001 150002 /other", show(option) + " | " + show(assigned) + " | " + show(file));
}

// Removals take every match, by id for options and by the whole text for
// files, even when the argument is one of the removed records.
TEST(TaskOptionListTest, RemovalByIdRemovesEveryMatchEvenWhenTheArgumentIsOneOfThem) {
  TaskOptionList list;
  list.addToOptList(3, "a", 1);
  TaskOption record(3, "b", 1);
  list.addToOptList(record);
  record.setValue("changed");  // the list holds a copy
  list.addToOptList(4, "c", 1);
  list.addToOptList(3, "d", 1);
  EXPECT_EQ("3=a 3=b 4=c 3=d", text(list));
  list.delFromOptList(TaskOption(3, "other value", 99));  // value and type not compared
  EXPECT_EQ("4=c", text(list));
  list.addToOptList(1, "e", 1);
  list.addToOptList(4, "f", 1);
  list.delFromOptList(*list.getList()[0]);
  EXPECT_EQ("1=e", text(list));

  TaskFileList files;
  for (const std::string& t : {std::string("/a"), std::string("/b"), std::string("/a"), std::string("/a\0x", 4)}) {
    files.addToFileList(1, t, 1);
  }
  files.delFromFileList(TaskFile(2, "/a", 3));  // id and type not compared
  EXPECT_EQ(2u, files.getList().size()) << "a text that differs after a zero byte stays";
  files.delFromFileList(std::string("/a\0x", 4));
  files.addToFileList(2, "/d", 1);
  files.addToFileList(3, "/b", 1);
  files.delFromFileList(*files.getList()[0]);
  EXPECT_EQ("/d", text(files));
}

TEST(TaskOptionListTest, CopiesAssignmentsAndRangeInsertsAreDeep) {
  std::unique_ptr<TaskOptionList> source(new TaskOptionList);
  source->addToOptList(3, "x", 1);
  source->addToOptList(4, "y", 1);
  TaskOptionList copy(*source), assigned;
  copy.delFromOptList(3);
  assigned.addToOptList(9, "old", 1);
  assigned = *source;
  EXPECT_EQ("3=x 4=y", text(*source));
  source.reset();
  TaskOptionList& self = assigned;
  assigned = self;
  assigned.insertAtEnd(assigned.begin() + 1, assigned.end());
  assigned.insertAtEnd(assigned.begin(), assigned.end());
  EXPECT_EQ("4=y | 3=x 4=y 4=y 3=x 4=y 4=y", text(copy) + " | " + text(assigned));
  EXPECT_NE(assigned.getList()[0], assigned.getList()[3]);
  // File lists are copied and assigned with the task record (TaskRecordsTest).
  TaskFileList files;
  files.addToFileList(1, "/a", 1);
  files.insertAtEnd(files.begin(), files.end());
  EXPECT_EQ("/a /a", text(files));
  files.cleanUpList();
  EXPECT_EQ(files.begin(), files.end());
}

// --- the task record ---------------------------------------------------------------------

std::vector<TaskFileList*> pathListsOf(const _TaskInfo& info) {
  return {info.srcPathList, info.destPathList, info.filterPathList, info.pathList8,
          info.pathList7,   info.searchPathList, info.userNameList, info.passwordList};
}

// Every field and every path list entry, as text.
std::string dump(const _TaskInfo& r) {
  std::ostringstream s;
  s << r.jobId << " " << r.taskId << " " << r.subTaskId << " " << r.idKind << " " << r.optionKey << " " << r.optionText
    << " " << r.bitOptions << " " << r.extendedOptions << " " << r.xmlOptions << " " << r.creationFlag << " "
    << r.task.flags << " " << r.task.reserved64 << " " << r.task.description << " " << r.subTask.operationType
    << " entities " << r.entities.size() << " patterns " << r.patterns.size();
  for (const TaskFileList* l : pathListsOf(r)) s << " [" << text(*l) << "]";
  return s.str();
}

// A record with every field set from `n`, so that two records differ in each.
_TaskInfo makeRecord(int n) {
  const std::string t = std::to_string(n);
  _TaskInfo info;
  info.jobId = 0x100000000ULL + n;
  info.taskId = n + 1;
  info.subTaskId = n + 2;
  info.idKind = n % 4;
  info.optionKey = n + 3;
  info.optionText = "opts" + t;
  info.bitOptions = 0x8000000000000000ULL + n;
  info.extendedOptions = "ext" + t;
  info.xmlOptions = "<x" + t + "/>";
  info.creationFlag = n % 2 != 0;
  info.task.flags = 0x80 + n;
  info.task.reserved64 = 0xFFFFFFF00ULL + n;
  info.task.description = "nightly " + t;
  info.subTask.operationType = n + 4;
  info.entities.resize(n % 5);
  info.patterns.resize(n % 7);
  const std::vector<TaskFileList*> lists = pathListsOf(info);
  for (int k = 1; k <= 8; ++k) lists[k - 1]->addToFileList(k, "/" + t + "/" + std::to_string(k), k);
  return info;
}

TEST(TaskRecordsTest, CopyAndAssignmentAreDeepAndAssignmentKeepsItsListObjects) {
  const _TaskInfo empty;
  EXPECT_EQ("0 0 0 0 0  0   0 0 0  0 entities 0 patterns 0 [] [] [] [] [] [] [] []", dump(empty));
  std::unique_ptr<_TaskInfo> source(new _TaskInfo(makeRecord(1)));
  const std::string expected = dump(*source);
  _TaskInfo copy(*source);
  _TaskInfo assigned = makeRecord(2);
  const std::vector<TaskFileList*> lists = pathListsOf(assigned);
  assigned = *source;
  _TaskInfo& self = assigned;
  assigned = self;
  EXPECT_EQ(lists, pathListsOf(assigned));
  for (size_t i = 0; i < 8; ++i) {
    EXPECT_NE(pathListsOf(*source)[i], pathListsOf(copy)[i]);
    for (size_t j = 0; j < i; ++j) EXPECT_NE(pathListsOf(empty)[i], pathListsOf(empty)[j]);
  }
  source->srcPathList->addToFileList(1, "/added", 1);
  source->passwordList->cleanUpList();
  source.reset();
  EXPECT_EQ(expected, dump(copy));
  EXPECT_EQ(expected, dump(assigned));
}

}  // namespace

#include "records/TaskRecords.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "records/CatalogueRecords.h"

namespace {

// The eight path lists of a record, in declaration order.
std::vector<TaskFileList*> pathListsOf(const _TaskInfo& info) {
  return {info.srcPathList,    info.destPathList, info.filterPathList, info.pathList8,
          info.pathList7,      info.searchPathList, info.userNameList, info.passwordList};
}

// Puts one entry with a distinct text into each path list.
void fillPathLists(_TaskInfo& info, const std::string& prefix) {
  int n = 0;
  for (TaskFileList* list : pathListsOf(info)) {
    ++n;
    list->addToFileList(150000 + n, prefix + std::to_string(n), 150000 + n);
  }
}

std::vector<std::string> pathTexts(const _TaskInfo& info) {
  std::vector<std::string> texts;
  for (TaskFileList* list : pathListsOf(info)) {
    for (const TaskFile* file : list->getList()) texts.push_back(file->getValue());
    texts.push_back("|");
  }
  return texts;
}

_TaskInfo makeRecord() {
  _TaskInfo info;
  info.jobId = 0x100000002ULL;
  info.taskId = 11;
  info.subTaskId = 12;
  info.idKind = 2;
  info.optionKey = 13;
  info.optionText = "opts";
  info.bitOptions = 0x8000000000000001ULL;
  info.extendedOptions = "ext";
  info.xmlOptions = "<x/>";
  info.creationFlag = true;
  info.task.taskId = 11;
  info.task.flags = 0x80;
  info.task.reserved64 = 0xFFFFFFFFFULL;
  info.task.description = "nightly";
  info.subTask.subTaskId = 12;
  info.subTask.operationType = 5;
  Sched_AssocEntity entity;
  entity.clientId = 7;
  info.entities.push_back(entity);
  Sched_Pattern pattern;
  pattern.text2 = "weekly";
  pattern.value16 = 16;
  info.patterns.push_back(pattern);
  fillPathLists(info, "/src");
  return info;
}

void expectSameFields(const _TaskInfo& a, const _TaskInfo& b) {
  EXPECT_EQ(a.jobId, b.jobId);
  EXPECT_EQ(a.taskId, b.taskId);
  EXPECT_EQ(a.subTaskId, b.subTaskId);
  EXPECT_EQ(a.idKind, b.idKind);
  EXPECT_EQ(a.optionKey, b.optionKey);
  EXPECT_EQ(a.optionText, b.optionText);
  EXPECT_EQ(a.bitOptions, b.bitOptions);
  EXPECT_EQ(a.extendedOptions, b.extendedOptions);
  EXPECT_EQ(a.xmlOptions, b.xmlOptions);
  EXPECT_EQ(a.creationFlag, b.creationFlag);
  EXPECT_EQ(a.task.flags, b.task.flags);
  EXPECT_EQ(a.task.reserved64, b.task.reserved64);
  EXPECT_EQ(a.task.description, b.task.description);
  EXPECT_EQ(a.subTask.operationType, b.subTask.operationType);
  ASSERT_EQ(a.entities.size(), b.entities.size());
  EXPECT_EQ(a.entities[0].clientId, b.entities[0].clientId);
  ASSERT_EQ(a.patterns.size(), b.patterns.size());
  EXPECT_EQ(a.patterns[0].text2, b.patterns[0].text2);
  EXPECT_EQ(a.patterns[0].value16, b.patterns[0].value16);
  EXPECT_EQ(pathTexts(a), pathTexts(b));
}

TEST(TaskRecordsTest, DefaultRecordIsEmptyWithEightDistinctLists) {
  const _TaskInfo info;
  EXPECT_EQ(0u, info.jobId | info.taskId | info.subTaskId | info.optionKey | info.bitOptions);
  EXPECT_EQ(0, info.idKind);
  EXPECT_FALSE(info.creationFlag);
  const std::vector<TaskFileList*> lists = pathListsOf(info);
  for (size_t i = 0; i < lists.size(); ++i) {
    ASSERT_NE(nullptr, lists[i]) << "list " << i;
    EXPECT_TRUE(lists[i]->getList().empty()) << "list " << i;
    for (size_t j = 0; j < i; ++j) EXPECT_NE(lists[i], lists[j]);
  }
}

TEST(TaskRecordsTest, CopyIsIndependentOfItsSource) {
  std::unique_ptr<_TaskInfo> source(new _TaskInfo(makeRecord()));
  _TaskInfo copy(*source);
  expectSameFields(*source, copy);
  for (size_t i = 0; i < 8; ++i) EXPECT_NE(pathListsOf(*source)[i], pathListsOf(copy)[i]);

  copy.entities.push_back(Sched_AssocEntity());
  copy.srcPathList->addToFileList(150001, "/added", 150001);
  copy.passwordList->cleanUpList();
  EXPECT_EQ(1u, source->entities.size());
  EXPECT_EQ(1u, source->srcPathList->getList().size());
  EXPECT_EQ(1u, source->passwordList->getList().size());

  // The copy outlives its source with all its entries intact.
  source.reset();
  EXPECT_EQ(2u, copy.srcPathList->getList().size());
  EXPECT_STREQ("/src1", copy.srcPathList->getList()[0]->getValue());
}

TEST(TaskRecordsTest, AssignmentReplacesContentsAndKeepsListObjects) {
  const _TaskInfo source = makeRecord();
  _TaskInfo target;
  target.entities.resize(3);
  fillPathLists(target, "/old");
  const std::vector<TaskFileList*> targetLists = pathListsOf(target);

  target = source;
  expectSameFields(source, target);
  EXPECT_EQ(targetLists, pathListsOf(target));

  target.destPathList->cleanUpList();
  EXPECT_EQ(1u, source.destPathList->getList().size());

  _TaskInfo& self = target;
  target = self;
  EXPECT_EQ(targetLists, pathListsOf(target));
  EXPECT_EQ(1u, target.srcPathList->getList().size());
  EXPECT_EQ("opts", target.optionText);
}

TEST(TaskRecordsTest, RowAndCatalogueRecordsHaveZeroDefaults) {
  const Sched_AssocEntity entity;
  static_assert(sizeof(Sched_AssocEntity) == 13 * sizeof(long), "thirteen 32-bit fields");
  long words[13];
  std::memcpy(words, &entity, sizeof words);
  for (int i = 0; i < 13; ++i) EXPECT_EQ(0, words[i]) << "field " << i;
  const Sched_Pattern pattern;
  EXPECT_EQ(0, pattern.value1 | pattern.value9 | pattern.value16);
  const _LegalHoldInfo hold;
  EXPECT_EQ(0u, hold.words1[0] | hold.words1[1] | hold.words1[2] | hold.words2[0] | hold.words2[1]);
  EXPECT_EQ(0, _RecordCenterInfo().value2 | _RecordConnectorInfo().value2 | _DM2TagInfo().value |
                   _ComplianceOptionInfo().value);
}

}  // namespace

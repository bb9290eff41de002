#include "task/TaskOption.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<unsigned long long> idsOf(const TaskOptionList& list) {
  std::vector<unsigned long long> ids;
  for (const TaskOption* option : list.getList()) ids.push_back(option->getOptionId());
  return ids;
}

std::vector<std::string> valuesOf(const TaskOptionList& list) {
  std::vector<std::string> values;
  for (TaskOptionList::const_iterator it = list.begin(); it != list.end(); ++it) {
    values.push_back((*it)->getValue());
  }
  return values;
}

TEST(TaskOptionTest, TypedReadingsConvertTheText) {
  for (const char* text : {"", "0", "0abc", "false"}) {
    EXPECT_FALSE(TaskOption(1, text, 2).getBooleanValue()) << "[" << text << "]";
  }
  for (const char* text : {"1", "FALSE", "no", "true", " 0"}) {
    EXPECT_TRUE(TaskOption(1, text, 2).getBooleanValue()) << "[" << text << "]";
  }
  EXPECT_EQ(54, TaskOption(1, "65", 1).getByteValue());  // the first character, not parsed
  EXPECT_EQ(0, TaskOption(1, "", 1).getByteValue());
  EXPECT_EQ(0xE9, TaskOption(1, "\xE9", 1).getByteValue());
  EXPECT_EQ(42, TaskOption(1, " 42", 7).getIntegerValue());
  EXPECT_EQ(12, TaskOption(1, "12abc", 7).getIntegerValue());
  EXPECT_EQ(-5, TaskOption(1, "-5", 14).getLongLongValue());
  EXPECT_EQ(-7, TaskOption(1, "-7", 5).getShortValue());
  EXPECT_EQ(65535, TaskOption(1, "65535", 6).getUshortValue());
  EXPECT_EQ(4000000000u, TaskOption(1, "4000000000", 8).getUintegerValue());
  EXPECT_EQ(-3L, TaskOption(1, " -3x", 9).getLongValue());
  EXPECT_EQ(4294967295UL, TaskOption(1, "4294967295", 10).getUlongValue());
  EXPECT_EQ(18446744073709551615ULL, TaskOption(1, "18446744073709551615", 15).getULongLongValue());
  EXPECT_FLOAT_EQ(2.5f, TaskOption(1, "2.5", 1).getFloatValue());
  EXPECT_DOUBLE_EQ(-0.125, TaskOption(1, "-0.125", 1).getDoubleValue());
  EXPECT_EQ(9, TaskOption(1, "9", 1).getIntegerValue()) << "the type code plays no part";
}

TEST(TaskOptionTest, TextWithoutNumberReadsZero) {
  for (const char* text : {"", "abc", "-", "  "}) {
    SCOPED_TRACE(std::string("[") + text + "]");
    const TaskOption option(1, text, 7);
    EXPECT_EQ(0, option.getShortValue());
    EXPECT_EQ(0, option.getUshortValue());
    EXPECT_EQ(0, option.getIntegerValue());
    EXPECT_EQ(0u, option.getUintegerValue());
    EXPECT_EQ(0L, option.getLongValue());
    EXPECT_EQ(0UL, option.getUlongValue());
    EXPECT_EQ(0LL, option.getLongLongValue());
    EXPECT_EQ(0ULL, option.getULongLongValue());
    EXPECT_EQ(0.0f, option.getFloatValue());
    EXPECT_EQ(0.0, option.getDoubleValue());
  }
}

TEST(TaskOptionTest, SetValueKeepsIdAndTypeAndCopiesAreIndependent) {
  TaskOption option(7, "first", 5);
  const TaskOption other(99, "second", 1);
  option.setValue(other);
  EXPECT_EQ(7u, option.getOptionId());
  EXPECT_EQ(5, option.getType());
  EXPECT_STREQ("second", option.getValue());
  EXPECT_STREQ("second", option.getStringValue());
  option.setValue(std::string("third"));
  EXPECT_STREQ("third", option.getValue());
  option.setValue(static_cast<const char*>(nullptr));
  EXPECT_STREQ("", option.getValue());
  option.setOptionId(0x1234567890ULL);

  TaskOption copy(option);
  copy.setValue("changed");
  EXPECT_STREQ("", option.getValue());
  EXPECT_EQ(0x1234567890ULL, copy.getOptionId());
  EXPECT_EQ(5, copy.getType());

  TaskOption assigned(1, "x", 2);
  assigned = other;
  EXPECT_EQ(99u, assigned.getOptionId());
  EXPECT_EQ(1, assigned.getType());
  TaskOption& self = assigned;
  assigned = self;
  EXPECT_STREQ("second", assigned.getValue());
}

TEST(TaskOptionListTest, AddsInOrderAndCopiesRecords) {
  TaskOptionList list;
  TaskOption record(2, "b", 1);
  list.addToOptList(1, "a", 7);
  list.addToOptList(record);
  record.setValue("changed");
  EXPECT_EQ((std::vector<unsigned long long>{1, 2}), idsOf(list));
  EXPECT_EQ((std::vector<std::string>{"a", "b"}), valuesOf(list));
  EXPECT_EQ(7, (*list.begin())->getType());
  EXPECT_NE(&record, list.getList()[1]);
  list.cleanUpList();
  EXPECT_TRUE(list.getList().empty());
  EXPECT_EQ(list.begin(), list.end());
}

TEST(TaskOptionListTest, CopiesAreIndependent) {
  std::unique_ptr<TaskOptionList> source(new TaskOptionList);
  source->addToOptList(3, "x", 1);
  source->addToOptList(4, "y", 1);
  TaskOptionList copy(*source);
  EXPECT_NE(source->getList()[0], copy.getList()[0]);
  copy.delFromOptList(3);
  EXPECT_EQ((std::vector<unsigned long long>{3, 4}), idsOf(*source));
  source.reset();
  EXPECT_EQ((std::vector<std::string>{"y"}), valuesOf(copy));

  TaskOptionList assigned;
  assigned.addToOptList(9, "old", 1);
  assigned = copy;
  EXPECT_EQ((std::vector<unsigned long long>{4}), idsOf(assigned));
  EXPECT_NE(copy.getList()[0], assigned.getList()[0]);

  const TaskOption* before = assigned.getList()[0];
  TaskOptionList& self = assigned;
  assigned = self;
  ASSERT_EQ(1u, assigned.getList().size());
  EXPECT_EQ(before, assigned.getList()[0]);
  EXPECT_STREQ("y", assigned.getList()[0]->getValue());
}

TEST(TaskOptionListTest, RemovalByIdRemovesEveryMatch) {
  TaskOptionList list;
  list.addToOptList(3, "a", 1);
  list.addToOptList(3, "b", 2);
  list.addToOptList(4, "c", 1);
  list.delFromOptList(3);
  EXPECT_EQ((std::vector<unsigned long long>{4}), idsOf(list));
  list.delFromOptList(4);  // the last element
  list.delFromOptList(4);  // nothing to remove
  EXPECT_TRUE(list.getList().empty());

  list.addToOptList(5, "a", 1);
  list.addToOptList(6, "b", 1);
  list.addToOptList(5, "c", 1);
  list.delFromOptList(TaskOption(5, "other value", 99));  // value and type not compared
  EXPECT_EQ((std::vector<unsigned long long>{6}), idsOf(list));

  list.addToOptList(1, "a", 1);
  list.addToOptList(6, "b", 1);
  // The argument is deleted by the removal itself; later matches must still go.
  list.delFromOptList(*list.getList()[0]);
  EXPECT_EQ((std::vector<unsigned long long>{1}), idsOf(list));
}

TEST(TaskOptionListTest, InsertAtEndCopiesARange) {
  TaskOptionList source;
  source.addToOptList(1, "a", 1);
  source.addToOptList(2, "b", 1);
  source.addToOptList(3, "c", 1);
  TaskOptionList target;
  target.addToOptList(9, "z", 1);
  target.insertAtEnd(source.begin() + 1, source.end());
  EXPECT_EQ((std::vector<unsigned long long>{9, 2, 3}), idsOf(target));
  EXPECT_NE(source.getList()[1], target.getList()[1]);

  // A list's own range doubles it without touching freed storage.
  target.insertAtEnd(target.begin(), target.end());
  EXPECT_EQ((std::vector<unsigned long long>{9, 2, 3, 9, 2, 3}), idsOf(target));
  EXPECT_NE(target.getList()[0], target.getList()[3]);
}

}  // namespace

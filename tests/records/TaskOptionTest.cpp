#include "records/TaskOption.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace {

// Appends records of type 1.
void add(TaskOptionList& list, std::initializer_list<std::pair<unsigned long long, const char*>> records) {
  for (const auto& r : records) list.addToOptList(r.first, r.second, 1);
}

// "id=value" of every record, space-separated, walked through the iterators.
std::string text(const TaskOptionList& list) {
  std::string r;
  for (TaskOptionList::const_iterator it = list.begin(); it != list.end(); ++it) {
    r += (r.empty() ? "" : " ") + std::to_string((*it)->getOptionId()) + "=" + (*it)->getValue();
  }
  return r;
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

TEST(TaskOptionListTest, AddsCopiesInOrder) {
  TaskOptionList list;
  TaskOption record(2, "b", 1);
  list.addToOptList(1, "a", 7);
  list.addToOptList(record);
  record.setValue("changed");
  EXPECT_EQ("1=a 2=b", text(list));
  EXPECT_EQ(7, list.getList()[0]->getType());
  list.cleanUpList();
  EXPECT_TRUE(list.getList().empty());
  EXPECT_EQ(list.begin(), list.end());
}

TEST(TaskOptionListTest, CopiesAreIndependent) {
  std::unique_ptr<TaskOptionList> source(new TaskOptionList);
  add(*source, {{3, "x"}, {4, "y"}});
  TaskOptionList copy(*source);
  copy.delFromOptList(3);
  EXPECT_EQ("3=x 4=y", text(*source));
  source.reset();
  EXPECT_EQ("4=y", text(copy));

  TaskOptionList assigned;
  add(assigned, {{9, "old"}});
  assigned = copy;
  EXPECT_NE(copy.getList()[0], assigned.getList()[0]);
  const TaskOption* before = assigned.getList()[0];
  TaskOptionList& self = assigned;
  assigned = self;
  EXPECT_EQ("4=y", text(assigned));
  EXPECT_EQ(before, assigned.getList()[0]);
}

TEST(TaskOptionListTest, RemovalByIdRemovesEveryMatch) {
  TaskOptionList list;
  add(list, {{3, "a"}, {3, "b"}, {4, "c"}});
  list.delFromOptList(3);
  EXPECT_EQ("4=c", text(list));
  list.delFromOptList(4);  // the last element
  list.delFromOptList(4);  // nothing to remove
  EXPECT_EQ("", text(list));
  add(list, {{5, "a"}, {6, "b"}, {5, "c"}});
  list.delFromOptList(TaskOption(5, "other value", 99));  // value and type not compared
  EXPECT_EQ("6=b", text(list));
  add(list, {{1, "a"}, {6, "b"}});
  // The argument is deleted by the removal itself; later matches must still go.
  list.delFromOptList(*list.getList()[0]);
  EXPECT_EQ("1=a", text(list));
}

TEST(TaskOptionListTest, InsertAtEndCopiesARangeEvenOfTheListItself) {
  TaskOptionList source;
  add(source, {{1, "a"}, {2, "b"}, {3, "c"}});
  TaskOptionList target;
  add(target, {{9, "z"}});
  target.insertAtEnd(source.begin() + 1, source.end());
  EXPECT_EQ("9=z 2=b 3=c", text(target));
  EXPECT_NE(source.getList()[1], target.getList()[1]);
  target.insertAtEnd(target.begin(), target.end());
  EXPECT_EQ("9=z 2=b 3=c 9=z 2=b 3=c", text(target));
  EXPECT_NE(target.getList()[0], target.getList()[3]);
}

}  // namespace

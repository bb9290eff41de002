#include "task/TaskFile.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<std::string> valuesOf(const TaskFileList& list) {
  std::vector<std::string> values;
  for (const TaskFile* file : list.getList()) values.push_back(file->getValue());
  return values;
}

TEST(TaskFileTest, FieldsCopyAndSetValue) {
  TaskFile file(150001, "/src", 150001);
  EXPECT_EQ(150001u, file.getOptionId());
  EXPECT_EQ(150001, file.getType());
  EXPECT_STREQ("/src", file.getValue());

  file.setValue(TaskFile(7, "/other", 3));
  EXPECT_EQ(150001u, file.getOptionId());
  EXPECT_EQ(150001, file.getType());
  EXPECT_STREQ("/other", file.getValue());
  file.setValue(static_cast<const char*>(nullptr));
  EXPECT_STREQ("", file.getValue());
  file.setOptionId(5);
  EXPECT_EQ(5u, file.getOptionId());

  TaskFile assigned(1, "x", 1);
  assigned = file;
  EXPECT_EQ(5u, assigned.getOptionId());
  EXPECT_EQ(150001, assigned.getType());
  TaskFile& self = assigned;
  assigned = self;
  EXPECT_EQ(5u, assigned.getOptionId());
}

TEST(TaskFileListTest, RemovalComparesTheText) {
  TaskFileList list;
  list.addToFileList(150001, "/a", 150001);
  list.addToFileList(150002, "/b", 150002);
  list.addToFileList(150003, "/a", 150014);
  list.delFromFileList(TaskFile(1, "/a", 1));  // id and type differ: both still removed
  EXPECT_EQ((std::vector<std::string>{"/b"}), valuesOf(list));

  list.addToFileList(150001, "/c", 150001);
  list.addToFileList(150001, "/c", 150001);
  list.delFromFileList(std::string("/c"));
  EXPECT_EQ((std::vector<std::string>{"/b"}), valuesOf(list));
  list.delFromFileList(std::string("/b"));
  EXPECT_TRUE(list.getList().empty());

  // Texts that differ only after a zero byte are different texts.
  list.addToFileList(1, std::string("p\0x", 3), 1);
  list.addToFileList(1, std::string("p\0y", 3), 1);
  list.delFromFileList(std::string("p\0x", 3));
  ASSERT_EQ(1u, list.getList().size());
  list.delFromFileList(std::string("p"));
  EXPECT_EQ(1u, list.getList().size());
}

TEST(TaskFileListTest, RemovalByOwnElement) {
  TaskFileList list;
  list.addToFileList(1, "/a", 1);
  list.addToFileList(2, "/b", 1);
  list.addToFileList(3, "/a", 1);
  list.delFromFileList(*list.getList()[0]);
  EXPECT_EQ((std::vector<std::string>{"/b"}), valuesOf(list));
}

TEST(TaskFileListTest, CopiesAreIndependent) {
  std::unique_ptr<TaskFileList> source(new TaskFileList);
  source->addToFileList(1, "/a", 1);
  source->addToFileList(TaskFile(2, "/b", 2));
  TaskFileList copy(*source);
  copy.delFromFileList(std::string("/a"));
  EXPECT_EQ((std::vector<std::string>{"/a", "/b"}), valuesOf(*source));
  source.reset();
  EXPECT_EQ((std::vector<std::string>{"/b"}), valuesOf(copy));
  EXPECT_EQ(2, copy.getList()[0]->getType());

  TaskFileList assigned;
  assigned.addToFileList(9, "/old", 9);
  assigned = copy;
  EXPECT_EQ((std::vector<std::string>{"/b"}), valuesOf(assigned));
  TaskFileList& self = assigned;
  assigned = self;
  EXPECT_EQ((std::vector<std::string>{"/b"}), valuesOf(assigned));

  assigned.insertAtEnd(assigned.begin(), assigned.end());
  EXPECT_EQ((std::vector<std::string>{"/b", "/b"}), valuesOf(assigned));
  assigned.cleanUpList();
  EXPECT_EQ(assigned.begin(), assigned.end());
}

}  // namespace

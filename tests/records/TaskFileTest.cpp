#include "records/TaskFile.h"

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

TEST(TaskFileTest, SetValueKeepsIdAndType) {
  TaskFile file(150001, "/src", 150002);
  file.setValue(TaskFile(7, "/other", 3));
  EXPECT_EQ(150001u, file.getOptionId());
  EXPECT_EQ(150002, file.getType());
  EXPECT_STREQ("/other", file.getValue());
  file.setValue(static_cast<const char*>(nullptr));
  EXPECT_STREQ("", file.getValue());

  TaskFile assigned(1, "x", 1);
  assigned = file;
  TaskFile& self = assigned;
  assigned = self;
  EXPECT_EQ(150001u, assigned.getOptionId());
  EXPECT_EQ(150002, assigned.getType());
}

TEST(TaskFileListTest, RemovalComparesTheWholeText) {
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

  // The argument is deleted by the removal itself; later matches must still go.
  list.addToFileList(2, "/d", 1);
  list.addToFileList(3, "/b", 1);
  list.delFromFileList(*list.getList()[0]);
  EXPECT_EQ((std::vector<std::string>{"/d"}), valuesOf(list));
  list.delFromFileList(std::string("/d"));
  EXPECT_TRUE(list.getList().empty());

  // Texts that differ only after a zero byte are different texts.
  list.addToFileList(1, std::string("p\0x", 3), 1);
  list.addToFileList(1, std::string("p\0y", 3), 1);
  list.delFromFileList(std::string("p\0x", 3));
  ASSERT_EQ(1u, list.getList().size());
  list.delFromFileList(std::string("p"));
  EXPECT_EQ(1u, list.getList().size());
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

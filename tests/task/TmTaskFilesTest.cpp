#include "task/TmTaskFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/YmErrors.h"

namespace {

class ScriptedFiles : public TmTaskFiles {
 public:
  std::vector<TaskFile> stored;
  int loadResult = 0;
  int writeResult = 0;
  int loads = 0;
  std::vector<void*> events;
  std::vector<std::vector<std::string>> written;
  std::vector<std::vector<std::string>> removedEntries;
  std::vector<std::vector<std::string>> removedNames;

  int initFiles(void* event) override {
    events.push_back(event);
    if (areFilesInitialized()) return 0;
    ++loads;
    clearFiles();
    for (const TaskFile& f : stored) addToFileCache(f);
    if (loadResult == 0) setFilesInitialized();
    return loadResult;
  }
  int setFiles(TaskFileList files, void* event) override {
    events.push_back(event);
    written.push_back(texts(files));
    return writeResult;
  }
  int removeFiles(TaskFileList files, void* event) override {
    events.push_back(event);
    removedEntries.push_back(texts(files));
    return writeResult;
  }
  int removeFiles(std::vector<std::string> names, void* event) override {
    events.push_back(event);
    removedNames.push_back(names);
    return writeResult;
  }

  static std::vector<std::string> texts(const TaskFileList& list) {
    std::vector<std::string> r;
    for (const TaskFile* f : list.getList()) r.push_back(f->getValue());
    return r;
  }
};

std::vector<std::string> cached(ScriptedFiles& files) {
  TaskFileList out;
  files.copyCacheTo(out, 0);
  return ScriptedFiles::texts(out);
}

TEST(TmTaskFilesTest, WholeSetReadFiltersByTypeAndKeepsWhatOutHeld) {
  ScriptedFiles files;
  files.stored = {TaskFile(150001, "/a", 150001), TaskFile(150002, "/b", 150002), TaskFile(150001, "/c", 150001)};
  TaskFileList out;
  out.addToFileList(1, "prior", 1);
  int marker = 0;
  ASSERT_EQ(0, files.getTaskFiles(out, 0, &marker));
  EXPECT_EQ((std::vector<std::string>{"prior", "/a", "/b", "/c"}), ScriptedFiles::texts(out));
  EXPECT_EQ(&marker, files.events.front());

  TaskFileList only;
  ASSERT_EQ(0, files.getTaskFiles(only, 150001, nullptr));
  EXPECT_EQ((std::vector<std::string>{"/a", "/c"}), ScriptedFiles::texts(only));
  EXPECT_EQ(1, files.loads);
}

TEST(TmTaskFilesTest, LoadResultsDecideLookupsAndWholeSetReads) {
  const struct {
    int load, lookupRc, wholeRc;
  } cases[] = {{0, 0, 0}, {YM_DB_NODATA, 0, YM_DB_NODATA}, {1703938, 1703938, 1703938}};
  for (const auto& c : cases) {
    ScriptedFiles files;
    files.loadResult = c.load;
    files.stored = {TaskFile(150001, "/a", 150001)};
    TaskFile probe(0, "/a", 0);
    EXPECT_EQ(c.lookupRc, files.getTaskFile(probe, nullptr)) << c.load;
    TaskFileList out;
    EXPECT_EQ(c.wholeRc, files.getTaskFiles(out, 0, nullptr)) << c.load;
    EXPECT_EQ(c.wholeRc == 0 ? 1u : 0u, out.getList().size()) << c.load;
    EXPECT_EQ(c.load == 0, files.areFilesInitialized()) << c.load;
  }
}

TEST(TmTaskFilesTest, LookupIsAnExistenceTestByTextThatLoadsFirst) {
  ScriptedFiles files;
  files.stored = {TaskFile(150001, "/a", 150001), TaskFile(150002, "/b", 150002)};
  EXPECT_FALSE(files.isFile("/a")) << "isFile loads nothing";
  EXPECT_EQ(0, files.loads);
  TaskFile probe(7, "/b", 3);
  EXPECT_EQ(0, files.getTaskFile(probe, nullptr));
  EXPECT_STREQ("/b", probe.getValue());
  EXPECT_EQ(3, probe.getType());
  TaskFile missing(7, "/z", 3);
  EXPECT_EQ(YM_PROP_NOT_FOUND, files.getTaskFile(missing, nullptr));

  int rc = -1;
  const TaskFile* entry = files.getTaskFile(std::string("/a"), rc, nullptr);
  ASSERT_NE(nullptr, entry);
  EXPECT_EQ(0, rc);
  EXPECT_EQ(150001, entry->getType());
  EXPECT_EQ(nullptr, files.getTaskFile(std::string("/z"), rc, nullptr));
  EXPECT_EQ(YM_PROP_NOT_FOUND, rc);
}

TEST(TmTaskFilesTest, SetAppendsOnlyNewTextsAndOnlyOnSuccess) {
  ScriptedFiles files;
  files.addToFileCache(150001, "/a", 150001);
  EXPECT_EQ(0, files.setTaskFile(TaskFile(150002, "/a", 150002), nullptr));
  EXPECT_EQ(0, files.setTaskFile(TaskFile(150002, "/b", 150002), nullptr));
  EXPECT_EQ((std::vector<std::string>{"/a", "/b"}), cached(files));
  ASSERT_EQ(2u, files.written.size());
  EXPECT_EQ((std::vector<std::string>{"/b"}), files.written[1]);

  files.writeResult = 55;
  EXPECT_EQ(55, files.setTaskFile(TaskFile(150002, "/c", 150002), nullptr));
  EXPECT_FALSE(files.isFile("/c"));
}

TEST(TmTaskFilesTest, RemoveDropsEveryEntryWithTheText) {
  ScriptedFiles files;
  files.addToFileCache(1, "/a", 1);
  files.addToFileCache(2, "/b", 2);
  files.addToFileCache(3, "/a", 3);

  files.writeResult = 9;
  EXPECT_EQ(9, files.removeTaskFile(std::string("/a"), nullptr));
  EXPECT_TRUE(files.isFile("/a"));

  files.writeResult = 0;
  EXPECT_EQ(0, files.removeTaskFile(std::string("/a"), nullptr));
  EXPECT_EQ((std::vector<std::string>{"/b"}), cached(files));
  EXPECT_FALSE(files.isFile("/a"));
  ASSERT_EQ(2u, files.removedNames.size());
  EXPECT_EQ((std::vector<std::string>{"/a"}), files.removedNames[1]);

  EXPECT_EQ(0, files.removeTaskFile(TaskFile(0, "/b", 0), nullptr));
  EXPECT_EQ((std::vector<std::string>{"/b"}), files.removedEntries.at(0));
  EXPECT_TRUE(cached(files).empty());
  EXPECT_FALSE(files.isFile("/b"));
}

TEST(TmTaskFilesTest, IndexFollowsDeletionsToTheNextEntry) {
  ScriptedFiles files;
  files.addToFileCache(1, "/a", 1);
  files.addToFileCache(2, "/b", 2);
  files.delFromFileCache(std::string("/a"));
  files.addToFileCache(4, "/a", 4);
  files.setFilesInitialized();
  int rc = 0;
  const TaskFile* entry = files.getTaskFile(std::string("/a"), rc, nullptr);
  ASSERT_NE(nullptr, entry);
  EXPECT_EQ(4, entry->getType());
  files.clearFiles();
  EXPECT_FALSE(files.isFile("/b"));
}

TEST(TmTaskFilesTest, CopiesAreDeep) {
  ScriptedFiles source;
  source.addToFileCache(1, "/a", 1);
  source.setFilesInitialized();
  ScriptedFiles copy(source);
  EXPECT_TRUE(copy.areFilesInitialized());
  source.delFromFileCache(std::string("/a"));
  EXPECT_TRUE(copy.isFile("/a"));
  EXPECT_EQ((std::vector<std::string>{"/a"}), cached(copy));

  ScriptedFiles assigned;
  assigned.addToFileCache(9, "/z", 9);
  static_cast<TmTaskFiles&>(assigned) = copy;
  EXPECT_FALSE(assigned.isFile("/z"));
  EXPECT_TRUE(assigned.isFile("/a"));
  TmTaskFiles& self = assigned;
  self = assigned;
  EXPECT_EQ((std::vector<std::string>{"/a"}), cached(assigned));

  assigned.resetFilesInitialized();
  EXPECT_FALSE(assigned.areFilesInitialized());
  EXPECT_TRUE(assigned.isFile("/a"));
}

}  // namespace

#include "task/TmTaskFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/YmErrors.h"

namespace {

using Calls = std::vector<std::string>;

// The texts of the entries, space-separated.
std::string text(const TaskFileList& list) {
  std::string r;
  for (const TaskFile* f : list.getList()) r += (r.empty() ? "" : " ") + std::string(f->getValue());
  return r;
}

// A cache whose load is scripted and whose writes are recorded as "set ...",
// "remove entries ..." and "remove names ...".
class ScriptedFiles : public TmTaskFiles {
 public:
  std::vector<TaskFile> stored;
  int loadResult = 0, writeResult = 0, loads = 0;
  std::vector<void*> events;
  Calls calls;

  int initFiles(void* event) override {
    events.push_back(event);
    if (areFilesInitialized()) return 0;
    ++loads;
    clearFiles();
    for (const TaskFile& f : stored) addToFileCache(f);
    if (loadResult == 0) setFilesInitialized();
    return loadResult;
  }
  int setFiles(TaskFileList files, void*) override { return record("set " + text(files)); }
  int removeFiles(TaskFileList files, void*) override { return record("remove entries " + text(files)); }
  int removeFiles(std::vector<std::string> names, void*) override {
    std::string r = "remove names";
    for (const std::string& n : names) r += " " + n;
    return record(r);
  }
  int record(const std::string& call) {
    calls.push_back(call);
    return writeResult;
  }
  std::string cached() {
    TaskFileList out;
    copyCacheTo(out, 0);
    return text(out);
  }
};

TEST(TmTaskFilesTest, WholeSetReadFiltersByTypeAndKeepsWhatOutHeld) {
  ScriptedFiles files;
  files.stored = {TaskFile(150001, "/a", 150001), TaskFile(150002, "/b", 150002), TaskFile(150001, "/c", 150001)};
  TaskFileList out;
  out.addToFileList(1, "prior", 1);
  int marker = 0;
  ASSERT_EQ(0, files.getTaskFiles(out, 0, &marker));
  EXPECT_EQ("prior /a /b /c", text(out));
  EXPECT_EQ(&marker, files.events.front());
  TaskFileList only;
  ASSERT_EQ(0, files.getTaskFiles(only, 150001, nullptr));
  EXPECT_EQ("/a /c", text(only));
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
    EXPECT_EQ(c.wholeRc == 0 ? "/a" : "", text(out)) << c.load;
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

TEST(TmTaskFilesTest, SetAppendsOnlyNewTextsAndRemoveDropsEveryEntryWithTheTextOnlyOnSuccess) {
  ScriptedFiles files;
  files.addToFileCache(150001, "/a", 150001);
  EXPECT_EQ(0, files.setTaskFile(TaskFile(150002, "/a", 150002), nullptr));
  EXPECT_EQ(0, files.setTaskFile(TaskFile(150002, "/b", 150002), nullptr));
  EXPECT_EQ("/a /b", files.cached());
  files.writeResult = 55;
  EXPECT_EQ(55, files.setTaskFile(TaskFile(150002, "/c", 150002), nullptr));
  EXPECT_FALSE(files.isFile("/c"));

  files.addToFileCache(3, "/a", 3);
  files.writeResult = 9;
  EXPECT_EQ(9, files.removeTaskFile(std::string("/a"), nullptr));
  EXPECT_TRUE(files.isFile("/a"));
  files.writeResult = 0;
  EXPECT_EQ(0, files.removeTaskFile(std::string("/a"), nullptr));
  EXPECT_EQ("/b", files.cached());
  EXPECT_FALSE(files.isFile("/a"));
  EXPECT_EQ(0, files.removeTaskFile(TaskFile(0, "/b", 0), nullptr));
  EXPECT_EQ("", files.cached());
  EXPECT_FALSE(files.isFile("/b"));
  EXPECT_EQ((Calls{"set /a", "set /b", "set /c", "remove names /a", "remove names /a", "remove entries /b"}),
            files.calls);
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
  // Lookup and removal agree on whole texts, zero bytes included.
  const std::string withZero("a\0b", 3);
  files.addToFileCache(5, withZero, 5);
  EXPECT_FALSE(files.isFile("a"));
  EXPECT_TRUE(files.isFile(withZero));
  files.delFromFileCache(std::string("a"));
  EXPECT_TRUE(files.isFile(withZero));
  files.delFromFileCache(withZero);
  EXPECT_FALSE(files.isFile(withZero));
  EXPECT_FALSE(files.isFile("a"));
}

TEST(TmTaskFilesTest, CopiesAreDeep) {
  ScriptedFiles source;
  source.addToFileCache(1, "/a", 1);
  source.setFilesInitialized();
  ScriptedFiles copy(source);
  EXPECT_TRUE(copy.areFilesInitialized());
  source.delFromFileCache(std::string("/a"));
  EXPECT_TRUE(copy.isFile("/a"));
  EXPECT_EQ("/a", copy.cached());

  ScriptedFiles assigned;
  assigned.addToFileCache(9, "/z", 9);
  static_cast<TmTaskFiles&>(assigned) = copy;
  EXPECT_FALSE(assigned.isFile("/z"));
  TmTaskFiles& self = assigned;
  self = assigned;
  EXPECT_EQ("/a", assigned.cached());
  EXPECT_TRUE(assigned.isFile("/a"));
  assigned.resetFilesInitialized();
  EXPECT_FALSE(assigned.areFilesInitialized());
  EXPECT_TRUE(assigned.isFile("/a"));
}

}  // namespace

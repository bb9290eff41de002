#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/YmErrors.h"
#include "task/EvAdmTask.h"
#include "task/EvBkpTask.h"
#include "task/EvRstTask.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

// Option ids the accessors and the path operations use.
const unsigned long long kUserNameOption = 1126346877;
const unsigned long long kPasswordOption = 1684967902;
const unsigned long long kOnDemandFile = 1272357427;
const unsigned long long kFcsPath = 6961954;

// Task classes with their record in reach.
class RstTask : public EvRstTask {
 public:
  using EvRstTask::EvRstTask;
  _TaskInfo& record() { return taskInfo; }
};

class AdmTask : public EvAdmTask {
 public:
  using EvAdmTask::EvAdmTask;
  _TaskInfo& record() { return taskInfo; }
};

class BkpTask : public EvBkpTask {
 public:
  using EvBkpTask::EvBkpTask;
  _TaskInfo& record() { return taskInfo; }
};

std::vector<std::string> texts(const TaskFileList* list) {
  std::vector<std::string> out;
  for (const TaskFile* f : list->getList()) out.push_back(f->getValue());
  return out;
}

std::vector<std::string> iterate(EvRstTask& task, long pathType) {
  std::vector<std::string> out;
  for (const char* p = task.getFirstPath(pathType); p != nullptr; p = task.getNextPath()) out.push_back(p);
  return out;
}

std::vector<const RecordedRequest*> requestsOf(const std::vector<RecordedRequest>& all, uint32_t type) {
  std::vector<const RecordedRequest*> out;
  for (const RecordedRequest& r : all) {
    if (r.type == type) out.push_back(&r);
  }
  return out;
}

// One named accessor pair: what its setter writes and what its getter reads.
template <class Task>
struct AccessorRow {
  const char* name;
  unsigned long long optionId;
  int typeCode;
  std::function<int(Task&)> set;  // writes the row's sample value
  std::string written;            // the text the sample is written as
  std::string stored;             // a text stored under the option
  std::function<int(Task&, std::string&)> get;  // reads, as text
  std::string read;               // what the getter makes of `stored`
};

#define LONG_ROW(Task, Name, id)                                                               \
  AccessorRow<Task> {                                                                          \
    #Name, id, 9, [](Task& t) { return t.set##Name(-5L, nullptr); }, "-5", "-70000",           \
        [](Task& t, std::string& out) {                                                        \
          long v = 0;                                                                          \
          const int rc = t.get##Name(v, nullptr);                                              \
          out = std::to_string(v);                                                             \
          return rc;                                                                           \
        },                                                                                     \
        "-70000"                                                                               \
  }
#define ULONG_ROW(Task, Name, id)                                                                   \
  AccessorRow<Task> {                                                                               \
    #Name, id, 10, [](Task& t) { return t.set##Name(4000000000UL, nullptr); }, "4000000000", "7", \
        [](Task& t, std::string& out) {                                                             \
          unsigned long v = 0;                                                                      \
          const int rc = t.get##Name(v, nullptr);                                                   \
          out = std::to_string(v);                                                                  \
          return rc;                                                                                \
        },                                                                                          \
        "7"                                                                                         \
  }
#define INT_ROW(Task, Name, id)                                                          \
  AccessorRow<Task> {                                                                    \
    #Name, id, 7, [](Task& t) { return t.set##Name(123, nullptr); }, "123", "-9",       \
        [](Task& t, std::string& out) {                                                  \
          int v = 0;                                                                     \
          const int rc = t.get##Name(v, nullptr);                                        \
          out = std::to_string(v);                                                       \
          return rc;                                                                     \
        },                                                                               \
        "-9"                                                                             \
  }
#define BOOL_ROW(Task, Name, id)                                                         \
  AccessorRow<Task> {                                                                    \
    #Name, id, 2, [](Task& t) { return t.set##Name(true, nullptr); }, "1", "1",         \
        [](Task& t, std::string& out) {                                                  \
          bool v = false;                                                                \
          const int rc = t.get##Name(v, nullptr);                                        \
          out = v ? "true" : "false";                                                    \
          return rc;                                                                     \
        },                                                                               \
        "true"                                                                           \
  }
#define TEXT_ROW(Task, Name, id)                                                                   \
  AccessorRow<Task> {                                                                              \
    #Name, id, 1, [](Task& t) { return t.set##Name(std::string("w ") + #Name, nullptr); },        \
        std::string("w ") + #Name, "stored text",                                                  \
        [](Task& t, std::string& out) { return t.get##Name(out, nullptr); }, "stored text"         \
  }

template <class Task, class Make>
void checkAccessors(FakeAppMgr& fake, const std::vector<AccessorRow<Task>>& rows, Make make) {
  for (const AccessorRow<Task>& row : rows) {
    SCOPED_TRACE(row.name);
    {
      Task task = make();
      ASSERT_EQ(0, row.set(task));
      const RecordedRequest write = fake.last(msg::kSetOptions);
      const std::vector<Opt> opts = writtenOptions(write);
      ASSERT_EQ(1u, opts.size());
      EXPECT_EQ(row.optionId, opts[0].id);
      EXPECT_EQ(row.typeCode, opts[0].type);
      EXPECT_EQ(row.written, opts[0].value);
    }
    {
      Task task = make();
      // A neighbour id holds something else, so a getter that misses its id
      // cannot read the stored text by accident.
      respondOptions(fake, msg::kGetOptions,
                     {{row.optionId + 1, row.typeCode, "0"}, {row.optionId, row.typeCode, row.stored}});
      std::string out;
      EXPECT_EQ(0, row.get(task, out));
      EXPECT_EQ(row.read, out);
    }
  }
}

class SpecialisedTaskTest : public EvTaskTest {};

}  // namespace

// --- named accessors ---------------------------------------------------------------------------------

TEST_F(SpecialisedTaskTest, RestoreAccessorsUseTheirOptions) {
  const std::vector<AccessorRow<EvRstTask>> rows = {
      LONG_ROW(EvRstTask, ControlCellId, 1496752764),
      LONG_ROW(EvRstTask, SourceClientId, 140003),
      LONG_ROW(EvRstTask, DestinationClientId, 293753447),
      LONG_ROW(EvRstTask, AppTypeId, 140004),
      LONG_ROW(EvRstTask, InstanceId, 140005),
      LONG_ROW(EvRstTask, BackupSetId, 140006),
      LONG_ROW(EvRstTask, AppId, 140007),
      LONG_ROW(EvRstTask, ToTime, 237388043),
      LONG_ROW(EvRstTask, FromTime, 17303908),
      LONG_ROW(EvRstTask, StripLevel, 704491921),
      LONG_ROW(EvRstTask, Preserve, 136060565),
      ULONG_ROW(EvRstTask, DestinationInstanceId, 312734045),
      TEXT_ROW(EvRstTask, RstUserName, 1294495887),
      TEXT_ROW(EvRstTask, RstMapFile, 840406153),
      INT_ROW(EvRstTask, MediaAgentId, 1254245399),
      TEXT_ROW(EvRstTask, UserName, kUserNameOption),
      TEXT_ROW(EvRstTask, Password, kPasswordOption),
      TEXT_ROW(EvRstTask, UserAccessInfo, 1736754751),
      TEXT_ROW(EvRstTask, RstInitiatingUserName, 120008),
      BOOL_ROW(EvRstTask, UseExactIndex, 2024952543),
      BOOL_ROW(EvRstTask, IncludeMetadata, 191927228),
      TEXT_ROW(EvRstTask, BrowseViewName, 2093323061),
      BOOL_ROW(EvRstTask, StartSuspendedFlag, 227975543),
      ULONG_ROW(EvRstTask, ArchGroupSynchronousCopyPrecedence, 645273429),
      ULONG_ROW(EvRstTask, ArchGroupSelectiveCopyPrecedence, 185675970),
      ULONG_ROW(EvRstTask, ArchGroupCopyPrecedence, 957862300),
      TEXT_ROW(EvRstTask, MediaPredictionFile, 1042311849),
      TEXT_ROW(EvRstTask, OnDemandRestoreFile, kOnDemandFile),
      TEXT_ROW(EvRstTask, OnDemandInFile, kOnDemandFile),
      BOOL_ROW(EvRstTask, NoMapping, 758695157),
      LONG_ROW(EvRstTask, DestAppTypeId, 1206125200),
      TEXT_ROW(EvRstTask, SybaseRenameDevices, 1852682932),
      TEXT_ROW(EvRstTask, FCSPath, kFcsPath),
      TEXT_ROW(EvRstTask, FilterItem, kFcsPath),
      TEXT_ROW(EvRstTask, SearchItem, 1502041828),
      TEXT_ROW(EvRstTask, SourceItem, kOnDemandFile),
  };
  checkAccessors(*fake, rows, [] { return EvRstTask(5, 0, nullptr, false, false); });
}

TEST_F(SpecialisedTaskTest, BackupAccessorsUseTheirOptions) {
  const std::vector<AccessorRow<EvBkpTask>> rows = {
      INT_ROW(EvBkpTask, AppId, 100001),
      INT_ROW(EvBkpTask, BackupLevel, 458405394),
      INT_ROW(EvBkpTask, OraBackupLevel, 560854980),
  };
  checkAccessors(*fake, rows, [] { return EvBkpTask(5, 0, nullptr); });
}

TEST_F(SpecialisedTaskTest, AdminAccessorsUseTheirOptions) {
  const std::vector<AccessorRow<EvAdmTask>> rows = {
      INT_ROW(EvAdmTask, SrmRptType, 130001),
      TEXT_ROW(EvAdmTask, SrmRptName, 130002),
      INT_ROW(EvAdmTask, SrmRptSetId, 130003),
      TEXT_ROW(EvAdmTask, SrmRptSetName, 130004),
  };
  checkAccessors(*fake, rows, [] { return EvAdmTask(5, 0, nullptr, false); });
}

TEST_F(SpecialisedTaskTest, OnDemandFileHasThreeNames) {
  EvRstTask task(5, 0, nullptr, false, false);
  respondOptions(*fake, msg::kGetOptions, {{kOnDemandFile, 1, "first"}, {kFcsPath, 1, "fcs"}});
  std::string a, b, c;
  EXPECT_EQ(0, task.getOnDemandInFile(a, nullptr));
  EXPECT_EQ(0, task.getOnDemandRestoreFile(b, nullptr));
  EXPECT_EQ(0, task.getSourceItem(c, nullptr));
  EXPECT_EQ("first", a);
  EXPECT_EQ(a, b);
  EXPECT_EQ(a, c);
  // Each of the three setters changes what the other two read.
  const std::vector<std::function<int(const std::string&)>> setters = {
      [&](const std::string& v) { return task.setOnDemandInFile(v, nullptr); },
      [&](const std::string& v) { return task.setOnDemandRestoreFile(v, nullptr); },
      [&](const std::string& v) { return task.setSourceItem(v, nullptr); }};
  for (size_t i = 0; i < setters.size(); ++i) {
    const std::string value = "set by " + std::to_string(i);
    ASSERT_EQ(0, setters[i](value));
    EXPECT_EQ(0, task.getOnDemandInFile(a, nullptr));
    EXPECT_EQ(0, task.getOnDemandRestoreFile(b, nullptr));
    EXPECT_EQ(0, task.getSourceItem(c, nullptr));
    EXPECT_EQ(value, a);
    EXPECT_EQ(value, b);
    EXPECT_EQ(value, c);
  }
  EXPECT_EQ(1u, countOf(*fake, msg::kGetOptions));
}

TEST_F(SpecialisedTaskTest, FcsPathAndFilterItemReadWhatTheirSettersWrote) {
  EvRstTask task(5, 0, nullptr, false, false);
  respondOptions(*fake, msg::kGetOptions, {{kOnDemandFile, 1, "on demand"}});
  std::string value;
  EXPECT_EQ(0, task.getFCSPath(value, nullptr));
  EXPECT_EQ("", value);  // not the on-demand restore file
  ASSERT_EQ(0, task.setFCSPath("/fcs", nullptr));
  EXPECT_EQ(0, task.getFCSPath(value, nullptr));
  EXPECT_EQ("/fcs", value);
  EXPECT_EQ(0, task.getFilterItem(value, nullptr));
  EXPECT_EQ("/fcs", value);
  ASSERT_EQ(0, task.setFilterItem("*.log", nullptr));
  EXPECT_EQ(0, task.getFCSPath(value, nullptr));
  EXPECT_EQ("*.log", value);
  EXPECT_EQ(0, task.getOnDemandRestoreFile(value, nullptr));
  EXPECT_EQ("on demand", value);
}

TEST_F(SpecialisedTaskTest, AccessorsReportALoadFailure) {
  EvRstTask task(5, 0, nullptr, false, false);
  fake->respondError(msg::kGetOptions, 4711, "options unavailable");
  long value = 99;
  EXPECT_EQ(4711, task.getControlCellId(value, nullptr));
  EXPECT_EQ(99, value);
  EXPECT_EQ("options unavailable", task.getErrorString());
}

TEST_F(SpecialisedTaskTest, IsOnDemandRestoreNeedsANonEmptyFile) {
  struct Case {
    std::vector<Opt> options;
    bool expected;
  };
  const std::vector<Case> cases = {{{}, false}, {{{kOnDemandFile, 1, ""}}, false}, {{{kOnDemandFile, 1, "f"}}, true}};
  for (const Case& c : cases) {
    EvRstTask task(5, 0, nullptr, false, false);
    respondOptions(*fake, msg::kGetOptions, c.options);
    bool result = !c.expected;
    EXPECT_EQ(0, task.IsOnDemandRestore(result, nullptr));
    EXPECT_EQ(c.expected, result);
  }
  EvRstTask task(5, 0, nullptr, false, false);
  fake->respondError(msg::kGetOptions, 66, "down");
  bool result = true;
  EXPECT_EQ(66, task.IsOnDemandRestore(result, nullptr));
  EXPECT_FALSE(result);
}

TEST_F(SpecialisedTaskTest, IsMediaPredictionRestoreReadsThePredictionFile) {
  {
    EvRstTask task(5, 0, nullptr, false, false);
    respondOptions(*fake, msg::kGetOptions, {{kOnDemandFile, 1, "x"}, {1042311849, 1, "/pred"}});
    bool result = false;
    EXPECT_EQ(0, task.IsMediaPredictionRestore(result, nullptr));
    EXPECT_TRUE(result);
  }
  EvRstTask task(5, 0, nullptr, false, false);
  respondOptions(*fake, msg::kGetOptions, {{kOnDemandFile, 1, "x"}});
  bool result = true;
  EXPECT_EQ(0, task.IsMediaPredictionRestore(result, nullptr));
  EXPECT_FALSE(result);
  fake->respondError(msg::kGetOptions, 66, "down");
  EvRstTask failing(6, 0, nullptr, false, false);
  result = true;
  EXPECT_EQ(66, failing.IsMediaPredictionRestore(result, nullptr));
  EXPECT_FALSE(result);
}

// --- construction ---------------------------------------------------------------------------------------

TEST_F(SpecialisedTaskTest, RestoreTaskWithoutIdLoadsNothing) {
  RstTask task(0, 2, nullptr, true);
  EXPECT_EQ(0u, fake->requestCount());
  EXPECT_EQ(nullptr, task.getFirstPath(1));
  EXPECT_EQ(nullptr, task.getNextPath());
}

TEST_F(SpecialisedTaskTest, RestoreTaskLoadsItsFilesAfterTheRows) {
  int marker = 0;
  respondFiles(*fake, {{150001, 150001, "/src/a"}, {150002, 150002, "/dst"}});
  RstTask task(300, 2, &marker, true);
  const std::vector<uint32_t> expected = {msg::kGetTaskInfo, msg::kGetSubTaskInfo, msg::kGetEntityInfo,
                                          msg::kGetFiles,    msg::kGetOptions,     msg::kGetDefaults};
  EXPECT_EQ(expected, fake->requestTypes());
  // The file load borrows the record's id kind for its request only.
  EXPECT_EQ(2, task.record().idKind);
  EXPECT_TRUE(task.record().creationFlag);
  EXPECT_EQ(std::vector<std::string>{"/src/a"}, iterate(task, 1));
  EXPECT_EQ(std::vector<std::string>{"/dst"}, iterate(task, 2));
}

TEST_F(SpecialisedTaskTest, RestoreTaskCanSkipTheFiles) {
  RstTask task(300, 2, nullptr, false, false);
  EXPECT_EQ(0u, countOf(*fake, msg::kGetFiles));
  EXPECT_EQ(2, task.record().idKind);
  EXPECT_FALSE(task.record().creationFlag);
  RstTask loading(300, 2, nullptr, false, true);
  EXPECT_EQ(1u, countOf(*fake, msg::kGetFiles));
  EXPECT_EQ(2, loading.record().idKind);
}

TEST_F(SpecialisedTaskTest, AFailedFileLoadLeavesThePathListsEmpty) {
  fake->respondError(msg::kGetFiles, 505, "no files");
  RstTask task(7, 0, nullptr, false);
  EXPECT_EQ("no files", task.getErrorString());
  EXPECT_EQ(0u, countOf(*fake, msg::kGetOptions));
  EXPECT_TRUE(task.record().userNameList->getList().empty());
  EXPECT_TRUE(task.record().passwordList->getList().empty());
  EXPECT_EQ(nullptr, task.getFirstPath(1));
}

TEST_F(SpecialisedTaskTest, AdminConstructorsChooseFlagAndFileLoad) {
  {
    AdmTask task(9, 2, nullptr);
    EXPECT_TRUE(task.record().creationFlag);
    EXPECT_EQ(1u, countOf(*fake, msg::kGetFiles));
    EXPECT_EQ(2, task.record().idKind);
  }
  {
    AdmTask task(9, 2, nullptr, true);
    EXPECT_FALSE(task.record().creationFlag);
    EXPECT_EQ(2u, countOf(*fake, msg::kGetFiles));
    EXPECT_EQ(2, task.record().idKind);
  }
  {
    AdmTask task(9, 2, nullptr, false);
    EXPECT_EQ(2u, countOf(*fake, msg::kGetFiles));
    EXPECT_EQ(2, task.record().idKind);
  }
  fake->clearRequests();
  AdmTask none(0, 2, nullptr);
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(SpecialisedTaskTest, AdminTaskSortsItsFiles) {
  respondFiles(*fake, {{150010, 150010, "search"}, {150003, 150003, "filter"}});
  AdmTask task(9, 0, nullptr);
  EXPECT_EQ(std::vector<std::string>{"search"}, texts(task.record().searchPathList));
  EXPECT_EQ(std::vector<std::string>{"filter"}, texts(task.record().filterPathList));
}

TEST_F(SpecialisedTaskTest, BackupTaskLoadsNoFiles) {
  BkpTask task(300, 2, nullptr);
  EXPECT_EQ(0u, countOf(*fake, msg::kGetFiles));
  EXPECT_FALSE(task.record().creationFlag);
  EXPECT_EQ(2, task.record().idKind);
}

TEST_F(SpecialisedTaskTest, CopiesOwnTheirPathLists) {
  RstTask task(0, 0, nullptr, false);
  task.addPath(1, "/a");
  {
    EvRstTask copy(task);
    EXPECT_EQ(std::vector<std::string>{"/a"}, iterate(copy, 1));
    copy.addPath(1, "/b");
    EXPECT_EQ((std::vector<std::string>{"/a", "/b"}), iterate(copy, 1));
  }
  EXPECT_EQ(std::vector<std::string>{"/a"}, iterate(task, 1));
}

TEST_F(SpecialisedTaskTest, AWriteOfTheRecordLeavesThePathListsIntact) {
  RstTask task(0, 0, nullptr, false);
  task.addPath(1, "/a");
  task.addPath(3, "*.tmp");
  EXPECT_EQ(0, task.setTaskInfo(Sched_Task(), nullptr));
  EXPECT_EQ(0, task.saveChanges());
  EXPECT_EQ(std::vector<std::string>{"/a"}, iterate(task, 1));
  EXPECT_EQ(std::vector<std::string>{"*.tmp"}, iterate(task, 3));
}

// --- buildFileList ----------------------------------------------------------------------------------------

TEST_F(SpecialisedTaskTest, BuildFileListSortsByFileType) {
  RstTask task(7, 0, nullptr, false, false);
  respondOptions(*fake, msg::kGetOptions, {{kUserNameOption, 1, "alice"}, {kPasswordOption, 1, "secret"}});
  TaskFileList files;
  const std::vector<std::pair<int, const char*>> entries = {
      {150001, "src1"}, {150002, "dst"},   {150003, "flt1"},  {150014, "flt2"},  {150008, "p8a"},
      {150013, "p8b"},  {150007, "p7a"},   {150012, "p7b"},   {150010, "srch"},  {150004, "user"},
      {150005, "pass"}, {150006, "x6"},    {150009, "x9"},    {150011, "x11"},   {150001, "src2"},
      {0, "zero"}};
  for (const auto& e : entries) files.addToFileList(static_cast<unsigned long long>(e.first), e.second, e.first);
  LogCapture cap;
  task.buildFileList(files, nullptr);

  const _TaskInfo& r = task.record();
  EXPECT_EQ((std::vector<std::string>{"src1", "src2"}), texts(r.srcPathList));
  EXPECT_EQ((std::vector<std::string>{"dst"}), texts(r.destPathList));
  EXPECT_EQ((std::vector<std::string>{"flt1", "flt2"}), texts(r.filterPathList));
  EXPECT_EQ((std::vector<std::string>{"p8a", "p8b"}), texts(r.pathList8));
  EXPECT_EQ((std::vector<std::string>{"p7a", "p7b"}), texts(r.pathList7));
  EXPECT_EQ((std::vector<std::string>{"srch"}), texts(r.searchPathList));
  EXPECT_EQ((std::vector<std::string>{"user", "alice"}), texts(r.userNameList));
  EXPECT_EQ((std::vector<std::string>{"pass", "secret"}), texts(r.passwordList));
  for (int dropped : {150006, 150009, 150011, 0}) {
    EXPECT_TRUE(cap.contains("EvTask::buildFileList", "File type [" + std::to_string(dropped) + "] not found."))
        << dropped;
  }
  // The credential entries carry the file type as id and type.
  const TaskFile* credential = r.userNameList->getList().back();
  EXPECT_EQ(150004ull, credential->getOptionId());
  EXPECT_EQ(150004, credential->getType());
  // Entries are copies: the argument's records are not shared.
  EXPECT_EQ(150014, r.filterPathList->getList()[1]->getType());
}

TEST_F(SpecialisedTaskTest, BuildFileListAddsEmptyCredentialsWhenNoneAreStored) {
  RstTask task(7, 0, nullptr, false, false);
  respondOptions(*fake, msg::kGetOptions, {{1, 1, "unrelated"}});
  task.buildFileList(TaskFileList(), nullptr);
  EXPECT_EQ(std::vector<std::string>{""}, texts(task.record().userNameList));
  EXPECT_EQ(std::vector<std::string>{""}, texts(task.record().passwordList));
}

TEST_F(SpecialisedTaskTest, BuildFileListSkipsCredentialsThatCannotBeRead) {
  RstTask task(7, 0, nullptr, false, false);
  fake->respondError(msg::kGetOptions, 8, "no");
  fake->respondError(msg::kGetOptions, 8, "no");
  task.buildFileList(TaskFileList(), nullptr);
  EXPECT_TRUE(task.record().userNameList->getList().empty());
  EXPECT_TRUE(task.record().passwordList->getList().empty());
}

TEST_F(SpecialisedTaskTest, BuildFileListOfATaskWithoutIdReadsNoCredentials) {
  RstTask task(0, 0, nullptr, false);
  TaskFileList files;
  files.addToFileList(150004, "user", 150004);
  task.buildFileList(files, nullptr);
  EXPECT_EQ(std::vector<std::string>{"user"}, texts(task.record().userNameList));
  EXPECT_TRUE(task.record().passwordList->getList().empty());
  EXPECT_EQ(0u, fake->requestCount());
}

// --- paths --------------------------------------------------------------------------------------------------

TEST_F(SpecialisedTaskTest, IterablePathTypesKeepTheirOwnLists) {
  RstTask task(0, 0, nullptr, false);
  const std::vector<std::pair<long, int>> kinds = {{1, 150001}, {2, 150002}, {3, 150003},
                                                   {7, 150007}, {8, 150008}, {10, 150010}};
  for (const auto& k : kinds) {
    task.addPath(k.first, ("first " + std::to_string(k.first)).c_str());
    task.addPath(k.first, ("second " + std::to_string(k.first)).c_str());
  }
  for (const auto& k : kinds) {
    EXPECT_EQ((std::vector<std::string>{"first " + std::to_string(k.first), "second " + std::to_string(k.first)}),
              iterate(task, k.first))
        << k.first;
  }
  const TaskFile* entry = task.record().pathList8->getList().front();
  EXPECT_EQ(150008ull, entry->getOptionId());
  EXPECT_EQ(150008, entry->getType());
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(SpecialisedTaskTest, CredentialPathsAreWrittenAsOptionsButNotIterable) {
  RstTask task(0, 0, nullptr, false);
  task.addPath(4, "bob");
  task.addPath(5, "pw");
  const std::vector<RecordedRequest> all = fake->requests();
  const std::vector<const RecordedRequest*> writes = requestsOf(all, msg::kSetOptions);
  ASSERT_EQ(2u, writes.size());
  EXPECT_EQ(kUserNameOption, writtenOptions(*writes[0])[0].id);
  EXPECT_EQ("bob", writtenOptions(*writes[0])[0].value);
  EXPECT_EQ(kPasswordOption, writtenOptions(*writes[1])[0].id);
  EXPECT_EQ("pw", writtenOptions(*writes[1])[0].value);
  EXPECT_EQ(std::vector<std::string>{"bob"}, texts(task.record().userNameList));
  EXPECT_EQ(std::vector<std::string>{"pw"}, texts(task.record().passwordList));
  EXPECT_EQ(nullptr, task.getFirstPath(4));
  EXPECT_EQ(nullptr, task.getFirstPath(5));
}

TEST_F(SpecialisedTaskTest, RejectedAndEmptyPathsChangeNothing) {
  RstTask task(0, 0, nullptr, false);
  for (long type : {0L, 6L, 9L, -1L, 11L, 150001L}) task.addPath(type, "/x");
  for (long type = 1; type <= 10; ++type) {
    task.addPath(type, "");
    task.addPath(type, nullptr);
  }
  EXPECT_EQ(0u, fake->requestCount());
  const _TaskInfo& r = task.record();
  for (const TaskFileList* list : {r.srcPathList, r.destPathList, r.filterPathList, r.pathList8, r.pathList7,
                                   r.searchPathList, r.userNameList, r.passwordList}) {
    EXPECT_TRUE(list->getList().empty());
  }
}

TEST_F(SpecialisedTaskTest, GetFirstPathOfAnotherTypeLeavesTheCursor) {
  RstTask task(0, 0, nullptr, false);
  task.addPath(1, "a");
  task.addPath(1, "b");
  task.addPath(1, "c");
  ASSERT_STREQ("a", task.getFirstPath(1));
  for (long type : {11L, 4L, 5L, 6L, 9L, 0L}) EXPECT_EQ(nullptr, task.getFirstPath(type)) << type;
  EXPECT_STREQ("b", task.getNextPath());
  EXPECT_STREQ("c", task.getNextPath());
  EXPECT_EQ(nullptr, task.getNextPath());
  EXPECT_EQ(nullptr, task.getNextPath());
  task.addPath(2, "only");
  EXPECT_STREQ("only", task.getFirstPath(2));
  EXPECT_EQ(nullptr, task.getNextPath());
  EXPECT_EQ(nullptr, task.getFirstPath(7));  // empty list
}

TEST_F(SpecialisedTaskTest, DeleteOperationsEmptyTheirLists) {
  RstTask task(0, 0, nullptr, false);
  for (long type : {1L, 2L, 3L, 7L, 8L, 10L}) task.addPath(type, "p");
  task.deleteSrcPaths();
  EXPECT_EQ(nullptr, task.getFirstPath(1));
  EXPECT_EQ(nullptr, task.getFirstPath(3));
  EXPECT_STREQ("p", task.getFirstPath(2));
  task.deleteDestPaths();
  EXPECT_EQ(nullptr, task.getFirstPath(2));
  EXPECT_STREQ("p", task.getFirstPath(10));
  task.deletePowerRstSearchPaths();
  EXPECT_EQ(nullptr, task.getFirstPath(10));
  task.addPath(3, "f");
  task.addPath(1, "s");
  task.deleteFilterPaths();
  EXPECT_EQ(nullptr, task.getFirstPath(3));
  EXPECT_STREQ("s", task.getFirstPath(1));
  EXPECT_STREQ("p", task.getFirstPath(7));
  EXPECT_STREQ("p", task.getFirstPath(8));
}

TEST_F(SpecialisedTaskTest, EmptyingTheIteratedListEndsTheIteration) {
  RstTask task(0, 0, nullptr, false);
  for (const char* p : {"a", "b", "c"}) task.addPath(3, p);
  task.addPath(2, "d");
  ASSERT_STREQ("a", task.getFirstPath(3));
  task.deleteDestPaths();  // another list: the iteration goes on
  EXPECT_STREQ("b", task.getNextPath());
  task.deleteSrcPaths();  // empties the filter list too
  EXPECT_EQ(nullptr, task.getNextPath());
  EXPECT_EQ(nullptr, task.getNextPath());
  task.addPath(3, "new");
  EXPECT_EQ(nullptr, task.getNextPath());
  EXPECT_STREQ("new", task.getFirstPath(3));
}

TEST_F(SpecialisedTaskTest, AddingToTheIteratedListContinuesTheIteration) {
  RstTask task(0, 0, nullptr, false);
  task.addPath(1, "p0");
  ASSERT_STREQ("p0", task.getFirstPath(1));
  // Enough entries to make the list move its storage several times.
  std::vector<std::string> expected;
  for (int i = 1; i <= 40; ++i) {
    const std::string p = "p" + std::to_string(i);
    task.addPath(1, p.c_str());
    task.addPath(2, "other");
    expected.push_back(p);
  }
  std::vector<std::string> seen;
  for (const char* p = task.getNextPath(); p != nullptr; p = task.getNextPath()) seen.push_back(p);
  EXPECT_EQ(expected, seen);
}

// --- pre/post commands -----------------------------------------------------------------------------------------

namespace {

RestoreTaskOptionsItem filledItem() {
  RestoreTaskOptionsItem item;
  item.id = 12345;
  std::memset(item.value, 'z', sizeof item.value);
  item.value[sizeof item.value - 1] = '\0';
  return item;
}

RestoreTaskOptionsItem makeItem(unsigned long id, const char* value) {
  RestoreTaskOptionsItem item{};
  item.id = id;
  std::strcpy(item.value, value);
  return item;
}

}  // namespace

TEST_F(SpecialisedTaskTest, CommandGettersReadTheirTwoOptions) {
  struct Case {
    const char* name;
    std::function<int(EvTask&, RestoreTaskOptionsItem&)> get;
    unsigned long expectedId;
    const char* expectedValue;
  };
  const std::vector<Case> cases = {
      {"pre", [](EvTask& t, RestoreTaskOptionsItem& i) { return t.getPreCommand(i, nullptr); }, 12, "pre.sh"},
      {"post", [](EvTask& t, RestoreTaskOptionsItem& i) { return t.getPostCommand(i, nullptr); }, 12, "post.sh"},
      {"user", [](EvTask& t, RestoreTaskOptionsItem& i) { return t.getPrePostUserName(i, nullptr); }, 3, "carol"},
      {"password", [](EvTask& t, RestoreTaskOptionsItem& i) { return t.getPrePostPassWord(i, nullptr); }, 0,
       "enc:xyz"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EvTask task(5, 0, nullptr, false);
    respondOptions(*fake, msg::kGetOptions,
                   {{293753447, 10, "12"},
                    {2075319105, 1, "pre.sh"},
                    {50443400, 1, "post.sh"},
                    {778606518, 10, "3"},
                    {1294495887, 1, "carol"},
                    {189156630, 1, "enc:xyz"}});
    RestoreTaskOptionsItem item = filledItem();
    EXPECT_EQ(0, c.get(task, item));
    EXPECT_EQ(c.expectedId, item.id);
    EXPECT_STREQ(c.expectedValue, item.value);
  }
}

TEST_F(SpecialisedTaskTest, CommandWithoutTextIsNoData) {
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{293753447, 10, "12"}, {50443400, 1, ""}, {778606518, 10, "3"}});
  RestoreTaskOptionsItem item = filledItem();
  EXPECT_EQ(YM_DB_NODATA, task.getPreCommand(item, nullptr));
  EXPECT_EQ(12u, item.id);
  EXPECT_STREQ("", item.value);
  item = filledItem();
  EXPECT_EQ(YM_DB_NODATA, task.getPostCommand(item, nullptr));  // stored, but empty
  EXPECT_STREQ("", item.value);
  item = filledItem();
  EXPECT_EQ(YM_DB_NODATA, task.getPrePostUserName(item, nullptr));
  EXPECT_EQ(3u, item.id);
  // The password knows no "no data": an empty one is a success.
  item = filledItem();
  EXPECT_EQ(0, task.getPrePostPassWord(item, nullptr));
  EXPECT_EQ(0u, item.id);
  EXPECT_STREQ("", item.value);
}

TEST_F(SpecialisedTaskTest, CommandGettersCutLongTextsAndKeepThemTerminated) {
  static_assert(sizeof(RestoreTaskOptionsItem::value) == 1025, "1024 characters and a terminator");
  const std::string exact(1024, 'e');
  const std::string longer = std::string(1024, 'l') + "TAIL";
  EvTask task(5, 0, nullptr, false);
  respondOptions(*fake, msg::kGetOptions, {{2075319105, 1, exact}, {50443400, 1, longer}, {189156630, 1, longer}});
  RestoreTaskOptionsItem item = filledItem();
  EXPECT_EQ(0, task.getPreCommand(item, nullptr));
  EXPECT_EQ(exact, std::string(item.value));
  item = filledItem();
  EXPECT_EQ(0, task.getPostCommand(item, nullptr));
  EXPECT_EQ(longer.substr(0, 1024), std::string(item.value));
  EXPECT_EQ('\0', item.value[1024]);
  item = filledItem();
  EXPECT_EQ(0, task.getPrePostPassWord(item, nullptr));
  EXPECT_EQ(1024u, std::strlen(item.value));
}

TEST_F(SpecialisedTaskTest, CommandGettersReportAFailedLoad) {
  struct Case {
    const char* function;
    std::function<int(EvTask&, RestoreTaskOptionsItem&)> get;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"EvTask::getPreCommand", [](EvTask& t, RestoreTaskOptionsItem& i) { return t.getPreCommand(i, nullptr); },
       "Could not get Pre Command Id. DB Error [333]"},
      {"EvTask::getPostCommand", [](EvTask& t, RestoreTaskOptionsItem& i) { return t.getPostCommand(i, nullptr); },
       "Could not get Post Command Id. DB Error [333]"},
      {"EvTask::getPrePostUserName",
       [](EvTask& t, RestoreTaskOptionsItem& i) { return t.getPrePostUserName(i, nullptr); },
       "Could not get PrePost User Name Id. DB Error [333]"},
      {"EvTask::getPrePostPassWord",
       [](EvTask& t, RestoreTaskOptionsItem& i) { return t.getPrePostPassWord(i, nullptr); },
       "Could not get PrePost User Password value. DB Error [333]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    EvTask task(5, 0, nullptr, false);
    fake->respondError(msg::kGetOptions, 333, "db down");
    LogCapture cap;
    RestoreTaskOptionsItem item = filledItem();
    EXPECT_EQ(333, c.get(task, item));
    EXPECT_EQ(0u, item.id);
    EXPECT_STREQ("", item.value);
    EXPECT_TRUE(cap.contains(c.function, c.message));
    EXPECT_EQ("db down", task.getErrorString());
  }
}

TEST_F(SpecialisedTaskTest, CommandSettersWriteNumberThenText) {
  struct Case {
    const char* name;
    std::function<int(EvTask&, const RestoreTaskOptionsItem*)> set;
    std::vector<Opt> writes;
  };
  const std::vector<Case> cases = {
      {"pre", [](EvTask& t, const RestoreTaskOptionsItem* i) { return t.setPreCommand(i, nullptr); },
       {{293753447, 10, "4000000000"}, {2075319105, 1, "run it"}}},
      {"post", [](EvTask& t, const RestoreTaskOptionsItem* i) { return t.setPostCommand(i, nullptr); },
       {{293753447, 10, "4000000000"}, {50443400, 1, "run it"}}},
      {"user", [](EvTask& t, const RestoreTaskOptionsItem* i) { return t.setPrePostUserName(i, nullptr); },
       {{778606518, 10, "4000000000"}, {1294495887, 1, "run it"}}},
      {"password", [](EvTask& t, const RestoreTaskOptionsItem* i) { return t.setPrePostPassWord(i, nullptr); },
       {{189156630, 1, "run it"}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fake->clearRequests();
    EvTask task(5, 0, nullptr, false);
    const RestoreTaskOptionsItem item = makeItem(4000000000UL, "run it");
    EXPECT_EQ(0, c.set(task, &item));
    const std::vector<RecordedRequest> all = fake->requests();
    const std::vector<const RecordedRequest*> writes = requestsOf(all, msg::kSetOptions);
    ASSERT_EQ(c.writes.size(), writes.size());
    for (size_t i = 0; i < writes.size(); ++i) {
      const std::vector<Opt> opts = writtenOptions(*writes[i]);
      ASSERT_EQ(1u, opts.size());
      EXPECT_EQ(c.writes[i].id, opts[0].id);
      EXPECT_EQ(c.writes[i].type, opts[0].type);
      EXPECT_EQ(c.writes[i].value, opts[0].value);
    }
  }
}

TEST_F(SpecialisedTaskTest, CommandSettersLogAndStopAtAFailedWrite) {
  struct Case {
    const char* function;
    std::function<int(EvTask&, const RestoreTaskOptionsItem*)> set;
    bool failNumber;
    const char* message;
    size_t writes;
  };
  const auto pre = [](EvTask& t, const RestoreTaskOptionsItem* i) { return t.setPreCommand(i, nullptr); };
  const auto post = [](EvTask& t, const RestoreTaskOptionsItem* i) { return t.setPostCommand(i, nullptr); };
  const auto user = [](EvTask& t, const RestoreTaskOptionsItem* i) { return t.setPrePostUserName(i, nullptr); };
  const auto pass = [](EvTask& t, const RestoreTaskOptionsItem* i) { return t.setPrePostPassWord(i, nullptr); };
  const std::vector<Case> cases = {
      {"EvTask::setPreCommand", pre, true, "Could not set Pre Command Id. DB Error [91]", 1},
      {"EvTask::setPreCommand", pre, false, "Could not set Pre Command value. DB Error [91]", 2},
      {"EvTask::setPostCommand", post, true, "Could not set Post Command Id. DB Error [91]", 1},
      {"EvTask::setPostCommand", post, false, "Could not set Post Command value. DB Error [91]", 2},
      {"EvTask::setPrePostUserName", user, true, "Could not set PrePost User Name Id. DB Error [91]", 1},
      {"EvTask::setPrePostUserName", user, false, "Could not set PrePost User Name value. DB Error [91]", 2},
      {"EvTask::setPrePostPassWord", pass, false, "Could not set PrePost User Password value. DB Error [91]", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    fake->clearRequests();
    EvTask task(5, 0, nullptr, false);
    if (!c.failNumber && c.writes == 2) fake->respond(msg::kSetOptions, GenericResp{});
    fake->respondError(msg::kSetOptions, 91, "write refused");
    LogCapture cap;
    const RestoreTaskOptionsItem item = makeItem(1, "cmd");
    EXPECT_EQ(91, c.set(task, &item));
    EXPECT_TRUE(cap.contains(c.function, c.message));
    EXPECT_EQ(c.writes, countOf(*fake, msg::kSetOptions));
  }
}

TEST_F(SpecialisedTaskTest, CommandSettersNeverReadPastTheValueField) {
  EvTask task(5, 0, nullptr, false);
  RestoreTaskOptionsItem item;
  item.id = 1;
  std::memset(item.value, 'u', sizeof item.value);  // no terminator at all
  EXPECT_EQ(0, task.setPrePostPassWord(&item, nullptr));
  const RecordedRequest write = fake->last(msg::kSetOptions);
  EXPECT_EQ(std::string(1024, 'u'), writtenOptions(write)[0].value);
}

TEST_F(SpecialisedTaskTest, CommandSettersRejectAMissingItem) {
  EvTask task(5, 0, nullptr, false);
  EXPECT_EQ(YM_DB_NODATA, task.setPreCommand(nullptr, nullptr));
  EXPECT_EQ(YM_DB_NODATA, task.setPrePostPassWord(nullptr, nullptr));
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(SpecialisedTaskTest, CommandRoundTripThroughTheCache) {
  EvTask task(0, 0, nullptr, false);
  const RestoreTaskOptionsItem in = makeItem(77, "echo before");
  ASSERT_EQ(0, task.setPreCommand(&in, nullptr));
  RestoreTaskOptionsItem out = filledItem();
  ASSERT_EQ(0, task.getPreCommand(out, nullptr));
  EXPECT_EQ(77u, out.id);
  EXPECT_STREQ("echo before", out.value);
  // The post command shares the client id, not the text.
  EXPECT_EQ(YM_DB_NODATA, task.getPostCommand(out, nullptr));
  EXPECT_EQ(77u, out.id);
}

// --- layout --------------------------------------------------------------------------------------------------

namespace {

// The Itanium C++ ABI encodes a pointer to a virtual member function as 1 +
// its byte offset in the virtual table.
template <class F>
std::ptrdiff_t slotOf(F f) {
  static_assert(sizeof(F) == 2 * sizeof(std::ptrdiff_t), "Itanium member pointer");
  std::ptrdiff_t raw[2];
  std::memcpy(raw, &f, sizeof raw);
  EXPECT_EQ(1, raw[0] & 1) << "not virtual";
  return (raw[0] - 1) / static_cast<std::ptrdiff_t>(sizeof(void*));
}

template <class... F>
std::vector<std::ptrdiff_t> slotsOf(F... f) {
  return {slotOf(f)...};
}

// The variant's own operations follow EvTask's last one, in declaration
// order, one slot each.
void expectAppendedInOrder(const std::vector<std::ptrdiff_t>& slots) {
  const std::ptrdiff_t first = slotOf(&EvTask::getOriginalJobId) + 1;
  for (size_t i = 0; i < slots.size(); ++i) EXPECT_EQ(first + static_cast<std::ptrdiff_t>(i), slots[i]) << i;
}

}  // namespace

TEST(SpecialisedTaskLayoutTest, RestoreOperationsFollowTheTaskOperations) {
  typedef EvRstTask R;
  expectAppendedInOrder(slotsOf(
      &R::getControlCellId, &R::setControlCellId, &R::getSourceClientId, &R::setSourceClientId,
      &R::getDestinationClientId, &R::setDestinationClientId, &R::getAppTypeId, &R::setAppTypeId,
      &R::getInstanceId, &R::setInstanceId, &R::getBackupSetId, &R::setBackupSetId, &R::getAppId, &R::setAppId,
      &R::getToTime, &R::setToTime, &R::getFromTime, &R::setFromTime, &R::getStripLevel, &R::setStripLevel,
      &R::getPreserve, &R::setPreserve, &R::getDestinationInstanceId, &R::setDestinationInstanceId,
      &R::getRstUserName, &R::setRstUserName, &R::getRstMapFile, &R::setRstMapFile, &R::getMediaAgentId,
      &R::setMediaAgentId, &R::getUserName, &R::setUserName, &R::getPassword, &R::setPassword,
      &R::getUserAccessInfo, &R::setUserAccessInfo, &R::getRstInitiatingUserName, &R::setRstInitiatingUserName,
      &R::getUseExactIndex, &R::setUseExactIndex, &R::getIncludeMetadata, &R::setIncludeMetadata,
      &R::getBrowseViewName, &R::setBrowseViewName, &R::getStartSuspendedFlag, &R::setStartSuspendedFlag,
      &R::getArchGroupSynchronousCopyPrecedence, &R::setArchGroupSynchronousCopyPrecedence,
      &R::getArchGroupSelectiveCopyPrecedence, &R::setArchGroupSelectiveCopyPrecedence,
      &R::getArchGroupCopyPrecedence, &R::setArchGroupCopyPrecedence, &R::getMediaPredictionFile,
      &R::setMediaPredictionFile, &R::IsMediaPredictionRestore, &R::getOnDemandRestoreFile,
      &R::setOnDemandRestoreFile, &R::IsOnDemandRestore, &R::getOnDemandInFile, &R::setOnDemandInFile,
      &R::getNoMapping, &R::setNoMapping, &R::getDestAppTypeId, &R::setDestAppTypeId, &R::getSybaseRenameDevices,
      &R::setSybaseRenameDevices, &R::getFCSPath, &R::setFCSPath, &R::getFilterItem, &R::setFilterItem,
      &R::getSearchItem, &R::setSearchItem, &R::getSourceItem, &R::setSourceItem, &R::addPath, &R::getFirstPath,
      &R::getNextPath, &R::deleteSrcPaths, &R::deleteDestPaths, &R::deletePowerRstSearchPaths,
      &R::deleteFilterPaths));
}

TEST(SpecialisedTaskLayoutTest, BackupAndAdminOperationsFollowTheTaskOperations) {
  typedef EvBkpTask B;
  expectAppendedInOrder(slotsOf(&B::getAppId, &B::setAppId, &B::getBackupLevel, &B::setBackupLevel,
                                &B::getOraBackupLevel, &B::setOraBackupLevel));
  typedef EvAdmTask A;
  expectAppendedInOrder(slotsOf(&A::getSrmRptType, &A::setSrmRptType, &A::getSrmRptName, &A::setSrmRptName,
                                &A::getSrmRptSetId, &A::setSrmRptSetId, &A::getSrmRptSetName,
                                &A::setSrmRptSetName));
}

TEST(SpecialisedTaskLayoutTest, OnlyTheRestoreTaskAddsData) {
  EXPECT_EQ(sizeof(EvTask), sizeof(EvBkpTask));
  EXPECT_EQ(sizeof(EvTask), sizeof(EvAdmTask));
  // A text and two flags, padded to the class's alignment.
  EXPECT_GE(sizeof(EvRstTask), sizeof(EvTask) + sizeof(std::string) + 2);
  EXPECT_LE(sizeof(EvRstTask), sizeof(EvTask) + sizeof(std::string) + 2 + alignof(EvRstTask));
}

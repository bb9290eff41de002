#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <type_traits>
#include <vector>

#include "platform/YmErrors.h"
#include "support/AbiSlots.h"
#include "task/EvAdmTask.h"
#include "task/EvBkpTask.h"
#include "task/EvRstTask.h"
#include "task/EvTaskTestSupport.h"

using namespace evtask;
using namespace evtask::test;

namespace {

const unsigned long long kUserNameOption = 1126346877;
const unsigned long long kPasswordOption = 1684967902;
const unsigned long long kOnDemandFile = 1272357427;
const unsigned long long kFcsPath = 6961954;
const unsigned long long kPredictionFile = 1042311849;

// A task class with its record in reach.
template <class Base>
class Open : public Base {
 public:
  using Base::Base;
  _TaskInfo& record() { return this->taskInfo; }
};
using R = EvRstTask;
using B = EvBkpTask;
using A = EvAdmTask;
using RstTask = Open<EvRstTask>;
using AdmTask = Open<EvAdmTask>;
using BkpTask = Open<EvBkpTask>;

std::string texts(const TaskFileList* list) {
  std::string out;
  for (const TaskFile* f : list->getList()) out += std::string("{") + f->getValue() + "}";
  return out;
}

// Every path list of the record, so that an entry in the wrong list shows.
std::string lists(const _TaskInfo& r) {
  return "src:" + texts(r.srcPathList) + " dst:" + texts(r.destPathList) + " filter:" + texts(r.filterPathList) +
         " 8:" + texts(r.pathList8) + " 7:" + texts(r.pathList7) + " search:" + texts(r.searchPathList) +
         " user:" + texts(r.userNameList) + " password:" + texts(r.passwordList);
}

std::string iterate(EvRstTask& task, long pathType) {
  std::string out;
  for (const char* p = task.getFirstPath(pathType); p; p = task.getNextPath()) out += "{" + std::string(p) + "}";
  return out;
}

// A value of each accessor type with its type code, and a text stored under
// the option, which the getter reads back.
template <class T>
struct Sample {
  int type;
  T value;
  std::string stored;
};
Sample<long> sampleOf(long*) { return {9, -5, "-70000"}; }
Sample<unsigned long> sampleOf(unsigned long*) { return {10, 4000000000UL, "7"}; }
Sample<int> sampleOf(int*) { return {7, 123, "-9"}; }
Sample<bool> sampleOf(bool*) { return {2, true, "1"}; }
Sample<std::string> sampleOf(std::string*) { return {1, "written text", "stored text"}; }
std::string show(long long v) { return std::to_string(v); }
std::string show(const std::string& v) { return v; }

// A task with an id that loads no files.
template <class Task>
Task fresh() {
  if constexpr (std::is_same<Task, EvRstTask>::value) return Task(5, 0, nullptr, false, false);
  else if constexpr (std::is_same<Task, EvBkpTask>::value) return Task(5, 0, nullptr);
  else return Task(5, 0, nullptr, false);
}

using Get = int (EvTask::*)(RestoreTaskOptionsItem&, void*);
using Set = int (EvTask::*)(const RestoreTaskOptionsItem*, void*);

// "result id text" of a read into an item that starts out filled.
std::string got(EvTask& task, Get get) {
  RestoreTaskOptionsItem item;
  item.id = 12345;
  std::memset(item.value, 'z', sizeof item.value);
  item.value[sizeof item.value - 1] = '\0';
  const int rc = (task.*get)(item, nullptr);
  return std::to_string(rc) + " " + std::to_string(item.id) + " " + item.value;
}

// The command accessors: their name, the subject of their log lines and the
// writes of an item with id 4000000000 and text "run it" (the password has no
// number).
struct Command {
  Get get;
  Set set;
  const char *name, *subject;
  std::string writes;
};
const Command kCommands[] = {
    {&EvTask::getPreCommand, &EvTask::setPreCommand, "PreCommand", "Pre Command",
     "[293753447:10:4000000000][2075319105:1:run it]"},
    {&EvTask::getPostCommand, &EvTask::setPostCommand, "PostCommand", "Post Command",
     "[293753447:10:4000000000][50443400:1:run it]"},
    {&EvTask::getPrePostUserName, &EvTask::setPrePostUserName, "PrePostUserName", "PrePost User Name",
     "[778606518:10:4000000000][1294495887:1:run it]"},
    {&EvTask::getPrePostPassWord, &EvTask::setPrePostPassWord, "PrePostPassWord", "PrePost User Password",
     "[189156630:1:run it]"},
};

class SpecialisedTaskTest : public EvTaskTest {
 protected:
  // The setter writes the option with the type code of T, the getter reads
  // that option (a neighbour id holds something else).
  template <class Task, class T, class SetArg>
  void accessor(const char* name, unsigned long long id, int (Task::*get)(T&, void*), int (Task::*set)(SetArg, void*)) {
    SCOPED_TRACE(name);
    const Sample<T> s = sampleOf(static_cast<T*>(nullptr));
    fake->clearRequests();
    Task writer = fresh<Task>();
    ASSERT_EQ(0, (writer.*set)(s.value, nullptr));
    EXPECT_EQ("[" + std::to_string(id) + ":" + std::to_string(s.type) + ":" + show(s.value) + "]", optionWrites(*fake));
    Task reader = fresh<Task>();
    respondOptions(*fake, msg::kGetOptions, {{id + 1, s.type, "0"}, {id, s.type, s.stored}});
    T value{};
    EXPECT_EQ(0, (reader.*get)(value, nullptr));
    EXPECT_EQ(s.stored, show(value));
  }
  // "flag, kind, file loads" of a task built from `args`.
  template <class Task, class... Args>
  std::string built(Args... args) {
    fake->clearRequests();
    Task t(args...);
    return "flag " + std::to_string(t.record().creationFlag) + ", kind " + std::to_string(t.record().idKind) +
           ", file loads " + std::to_string(countOf(*fake, msg::kGetFiles));
  }
};

}  // namespace

// The variants' own accessors in declaration order: class, name, value
// type, option id.
#define RESTORE_ACCESSORS(X)                                                                                        \
  X(R, ControlCellId, long, 1496752764) X(R, SourceClientId, long, 140003)                                          \
  X(R, DestinationClientId, long, 293753447) X(R, AppTypeId, long, 140004) X(R, InstanceId, long, 140005)           \
  X(R, BackupSetId, long, 140006) X(R, AppId, long, 140007) X(R, ToTime, long, 237388043)                           \
  X(R, FromTime, long, 17303908) X(R, StripLevel, long, 704491921) X(R, Preserve, long, 136060565)                  \
  X(R, DestinationInstanceId, unsigned long, 312734045) X(R, RstUserName, std::string, 1294495887)                  \
  X(R, RstMapFile, std::string, 840406153) X(R, MediaAgentId, int, 1254245399)                                      \
  X(R, UserName, std::string, kUserNameOption) X(R, Password, std::string, kPasswordOption)                         \
  X(R, UserAccessInfo, std::string, 1736754751) X(R, RstInitiatingUserName, std::string, 120008)                    \
  X(R, UseExactIndex, bool, 2024952543) X(R, IncludeMetadata, bool, 191927228)                                      \
  X(R, BrowseViewName, std::string, 2093323061) X(R, StartSuspendedFlag, bool, 227975543)                           \
  X(R, ArchGroupSynchronousCopyPrecedence, unsigned long, 645273429)                                                \
  X(R, ArchGroupSelectiveCopyPrecedence, unsigned long, 185675970)                                                  \
  X(R, ArchGroupCopyPrecedence, unsigned long, 957862300) X(R, MediaPredictionFile, std::string, kPredictionFile)   \
  X(R, OnDemandRestoreFile, std::string, kOnDemandFile) X(R, OnDemandInFile, std::string, kOnDemandFile)            \
  X(R, NoMapping, bool, 758695157) X(R, DestAppTypeId, long, 1206125200)                                            \
  X(R, SybaseRenameDevices, std::string, 1852682932) X(R, FCSPath, std::string, kFcsPath)                           \
  X(R, FilterItem, std::string, kFcsPath) X(R, SearchItem, std::string, 1502041828)                                 \
  X(R, SourceItem, std::string, kOnDemandFile)
#define BACKUP_ACCESSORS(X)                                                                                         \
  X(B, AppId, int, 100001) X(B, BackupLevel, int, 458405394) X(B, OraBackupLevel, int, 560854980)
#define ADMIN_ACCESSORS(X)                                                                                          \
  X(A, SrmRptType, int, 130001) X(A, SrmRptName, std::string, 130002) X(A, SrmRptSetId, int, 130003)                \
  X(A, SrmRptSetName, std::string, 130004)

// --- named accessors ---------------------------------------------------------------------------------

TEST_F(SpecialisedTaskTest, NamedAccessorsUseTheirOptions) {
#define CHECK_ACCESSOR(Task, Name, T, id) accessor<Task, T>(#Task "::" #Name, id, &Task::get##Name, &Task::set##Name);
  RESTORE_ACCESSORS(CHECK_ACCESSOR) BACKUP_ACCESSORS(CHECK_ACCESSOR) ADMIN_ACCESSORS(CHECK_ACCESSOR)
}

TEST_F(SpecialisedTaskTest, RestoreKindTestsNeedANonEmptyFile) {
  using Is = int (EvRstTask::*)(bool&, void*);
  const Is onDemand = &EvRstTask::IsOnDemandRestore, prediction = &EvRstTask::IsMediaPredictionRestore;
  struct Case { Is is; std::vector<Opt> options; int rc; bool expected; };  // rc: a failed load
  const Case cases[] = {
      {onDemand, {}, 0, false}, {onDemand, {{kOnDemandFile, 1, ""}}, 0, false},
      {onDemand, {{kOnDemandFile, 1, "f"}}, 0, true}, {onDemand, {}, 66, false},
      {prediction, {{kOnDemandFile, 1, "x"}, {kPredictionFile, 1, "/pred"}}, 0, true},
      {prediction, {{kOnDemandFile, 1, "x"}}, 0, false}, {prediction, {}, 66, false},
  };
  for (const Case& c : cases) {
    EvRstTask task(5, 0, nullptr, false, false);
    if (c.rc != 0) fake->respondError(msg::kGetOptions, c.rc, "down");
    else respondOptions(*fake, msg::kGetOptions, c.options);
    bool result = !c.expected;
    EXPECT_EQ(c.rc, (task.*c.is)(result, nullptr)) << "case " << &c - cases;
    EXPECT_EQ(c.expected, result) << "case " << &c - cases;
  }
}

// --- construction and files ---------------------------------------------------------------------------

// The file load borrows the record's id kind for its request only.
TEST_F(SpecialisedTaskTest, ConstructorsChooseCreationFlagAndFileLoad) {
  EXPECT_EQ("flag 1, kind 2, file loads 1", built<RstTask>(300, 2, nullptr, true));
  EXPECT_EQ("flag 0, kind 2, file loads 0", built<RstTask>(300, 2, nullptr, false, false));
  EXPECT_EQ("flag 0, kind 2, file loads 1", built<RstTask>(300, 2, nullptr, false, true));
  EXPECT_EQ("flag 1, kind 2, file loads 1", built<AdmTask>(9, 2, nullptr));
  EXPECT_EQ("flag 0, kind 2, file loads 1", built<AdmTask>(9, 2, nullptr, true));
  EXPECT_EQ("flag 0, kind 2, file loads 0", built<AdmTask>(9, 2, nullptr, false));
  EXPECT_EQ("flag 0, kind 2, file loads 0", built<BkpTask>(300, 2, nullptr));
  EXPECT_EQ("flag 1, kind 2, file loads 0", built<RstTask>(0, 2, nullptr, true)) << "without an id nothing is sent";
  EXPECT_EQ("flag 1, kind 2, file loads 0", built<AdmTask>(0, 2, nullptr));
  EXPECT_EQ(0u, fake->requestCount());
}

TEST_F(SpecialisedTaskTest, FilesLoadAfterTheRowsIntoTheirLists) {
  respondFiles(*fake, {{150001, 150001, "/src/a"}, {150002, 150002, "/dst"}});
  RstTask task(300, 2, nullptr, true);
  const std::vector<uint32_t> expected = {msg::kGetTaskInfo, msg::kGetSubTaskInfo, msg::kGetEntityInfo,
                                          msg::kGetFiles,    msg::kGetOptions,     msg::kGetDefaults};
  EXPECT_EQ(expected, fake->requestTypes());
  EXPECT_EQ("{/src/a}", iterate(task, 1));
  EXPECT_EQ("{/dst}", iterate(task, 2));
  respondFiles(*fake, {{150010, 150010, "search"}, {150003, 150003, "filter"}});
  AdmTask admin(9, 0, nullptr);
  EXPECT_EQ("src: dst: filter:{filter} 8: 7: search:{search} user:{} password:{}", lists(admin.record()));
}

// Entries go to the list of their file type, unknown types are logged and
// dropped; the credentials are read and added after them (a task without id
// reads none).
TEST_F(SpecialisedTaskTest, BuildFileListSortsByFileTypeAndAddsTheReadableCredentials) {
  RstTask task(7, 0, nullptr, false, false);
  respondOptions(*fake, msg::kGetOptions, {{kUserNameOption, 1, "alice"}, {kPasswordOption, 1, "secret"}});
  TaskFileList files;
  const std::vector<std::pair<int, const char*>> entries = {
      {150001, "src1"}, {150002, "dst"},  {150003, "flt1"}, {150014, "flt2"}, {150008, "p8a"}, {150013, "p8b"},
      {150007, "p7a"},  {150012, "p7b"},  {150010, "srch"}, {150004, "user"}, {150005, "pass"}, {150006, "x6"},
      {150009, "x9"},   {150011, "x11"},  {150001, "src2"}, {0, "zero"}};
  for (const auto& e : entries) files.addToFileList(static_cast<unsigned long long>(e.first), e.second, e.first);
  LogCapture cap;
  task.buildFileList(files, nullptr);
  EXPECT_EQ("src:{src1}{src2} dst:{dst} filter:{flt1}{flt2} 8:{p8a}{p8b} 7:{p7a}{p7b} search:{srch} "
            "user:{user}{alice} password:{pass}{secret}", lists(task.record()));
  for (int dropped : {150006, 150009, 150011, 0}) {
    EXPECT_TRUE(cap.contains("EvTask::buildFileList", "File type [" + std::to_string(dropped) + "] not found."));
  }
  RstTask unset(7, 0, nullptr, false, false);
  respondOptions(*fake, msg::kGetOptions, {{1, 1, "unrelated"}});
  unset.buildFileList(TaskFileList(), nullptr);
  EXPECT_EQ("src: dst: filter: 8: 7: search: user:{} password:{}", lists(unset.record()));
  fake->clearRequests();
  RstTask noId(0, 0, nullptr, false);
  TaskFileList user;
  user.addToFileList(150004, "user", 150004);
  noId.buildFileList(user, nullptr);
  EXPECT_EQ("src: dst: filter: 8: 7: search: user:{user} password:", lists(noId.record()));
  EXPECT_EQ(0u, fake->requestCount());
}

// --- paths --------------------------------------------------------------------------------------------------

TEST_F(SpecialisedTaskTest, AddPathSortsByType) {
  RstTask task(0, 0, nullptr, false);
  for (const char* suffix : {"a", "b"}) {
    for (long type : {1L, 2L, 3L, 7L, 8L, 10L, 4L, 5L}) task.addPath(type, (std::to_string(type) + suffix).c_str());
  }
  for (long type : {0L, 6L, 9L, -1L, 11L, 150001L}) task.addPath(type, "/x");
  for (long type = 1; type <= 10; ++type) {
    task.addPath(type, "");
    task.addPath(type, nullptr);
  }
  EXPECT_EQ("src:{1a}{1b} dst:{2a}{2b} filter:{3a}{3b} 8:{8a}{8b} 7:{7a}{7b} search:{10a}{10b} user:{4a}{4b} "
            "password:{5a}{5b}", lists(task.record()));
  // Only the credentials are written as options.
  EXPECT_EQ("[1126346877:1:4a][1684967902:1:5a][1126346877:1:4b][1684967902:1:5b]", optionWrites(*fake));
  EXPECT_EQ(fake->requestCount(), countOf(*fake, msg::kSetOptions));
  for (long type : {1L, 2L, 3L, 7L, 8L, 10L}) {
    EXPECT_EQ("{" + std::to_string(type) + "a}{" + std::to_string(type) + "b}", iterate(task, type)) << type;
  }
  const TaskFile* entry = task.record().pathList8->getList().front();
  EXPECT_EQ("150008 150008", std::to_string(entry->getOptionId()) + " " + std::to_string(entry->getType()));
}

TEST_F(SpecialisedTaskTest, DeleteOperationsEmptyTheirLists) {
  const std::vector<std::pair<void (EvRstTask::*)(), std::string>> cases = {
      {&EvRstTask::deleteSrcPaths, "src: dst:{p} filter: 8:{p} 7:{p} search:{p} user: password:"},
      {&EvRstTask::deleteDestPaths, "src:{p} dst: filter:{p} 8:{p} 7:{p} search:{p} user: password:"},
      {&EvRstTask::deletePowerRstSearchPaths, "src:{p} dst:{p} filter:{p} 8:{p} 7:{p} search: user: password:"},
      {&EvRstTask::deleteFilterPaths, "src:{p} dst:{p} filter: 8:{p} 7:{p} search:{p} user: password:"},
  };
  for (const auto& c : cases) {
    RstTask task(0, 0, nullptr, false);
    for (long type : {1L, 2L, 3L, 7L, 8L, 10L}) task.addPath(type, "p");
    (task.*c.first)();
    EXPECT_EQ(c.second, lists(task.record())) << c.second;
  }
}

// The cursor survives changes of the lists: a first path of a type without
// a list leaves it, appends to the iterated list
// (however often it moves its storage) continue the iteration, emptying
// another list does not disturb it, and emptying the iterated one ends it.
TEST_F(SpecialisedTaskTest, TheCursorSurvivesListChanges) {
  RstTask task(0, 0, nullptr, false);
  task.addPath(3, "p0");
  task.addPath(2, "d");
  ASSERT_STREQ("p0", task.getFirstPath(3));
  for (long type : {11L, 4L, 5L, 6L, 9L, 0L}) EXPECT_EQ(nullptr, task.getFirstPath(type)) << type;
  std::string expected, seen;
  for (int i = 1; i <= 40; ++i) {
    const std::string p = "p" + std::to_string(i);
    task.addPath(3, p.c_str());
    task.addPath(1, "other");
    expected += "{" + p + "}";
  }
  task.deleteDestPaths();
  for (int i = 0; i < 20; ++i) seen += "{" + std::string(task.getNextPath()) + "}";
  task.deleteSrcPaths();  // empties the filter list too
  EXPECT_EQ(nullptr, task.getNextPath());
  task.addPath(3, "new");
  EXPECT_EQ(nullptr, task.getNextPath());
  EXPECT_EQ(expected.substr(0, seen.size()), seen);
  EXPECT_STREQ("new", task.getFirstPath(3));
  EXPECT_EQ(nullptr, task.getFirstPath(7));  // an empty list
}

// --- pre/post commands -----------------------------------------------------------------------------------------

TEST_F(SpecialisedTaskTest, CommandGettersReadTheirTwoOptions) {
  const Get pre = kCommands[0].get, post = kCommands[1].get, user = kCommands[2].get, password = kCommands[3].get;
  const std::vector<Opt> all = {{293753447, 10, "12"}, {2075319105, 1, "pre.sh"}, {50443400, 1, "post.sh"},
                                {778606518, 10, "3"},  {1294495887, 1, "carol"},  {189156630, 1, "enc:xyz"}};
  const std::vector<Opt> noText = {{293753447, 10, "12"}, {50443400, 1, ""}, {778606518, 10, "3"}};
  // 1024 characters fit; longer texts are cut there and terminated.
  static_assert(sizeof(RestoreTaskOptionsItem::value) == 1025, "1024 characters and a terminator");
  const std::string exact(1024, 'e'), longer = std::string(1024, 'l') + "TAIL";
  const std::vector<Opt> longTexts = {{2075319105, 1, exact}, {50443400, 1, longer}, {189156630, 1, longer}};
  const std::string noData = std::to_string(YM_DB_NODATA);
  struct Case { const std::vector<Opt>& options; Get get; std::string expected; };
  const Case cases[] = {
      {all, pre, "0 12 pre.sh"}, {all, post, "0 12 post.sh"}, {all, user, "0 3 carol"}, {all, password, "0 0 enc:xyz"},
      // an empty text is "no data", stored or not, except for the password
      {noText, pre, noData + " 12 "}, {noText, post, noData + " 12 "}, {noText, user, noData + " 3 "},
      {noText, password, "0 0 "},
      {longTexts, pre, "0 0 " + exact}, {longTexts, post, "0 0 " + longer.substr(0, 1024)},
      {longTexts, password, "0 0 " + longer.substr(0, 1024)},
  };
  for (const Case& c : cases) {
    EvTask task(5, 0, nullptr, false);
    respondOptions(*fake, msg::kGetOptions, c.options);
    EXPECT_EQ(c.expected, got(task, c.get)) << "case " << &c - cases;
  }
}

// The setters refuse a missing item and write the number, then the text. A
// failed load, a failed number write and a failed text write each stop the
// accessor with a line.
TEST_F(SpecialisedTaskTest, CommandAccessorsWriteNumberThenTextAndLogEachFailure) {
  RestoreTaskOptionsItem item{};
  item.id = 4000000000UL;
  std::strcpy(item.value, "run it");
  for (const Command& c : kCommands) {
    SCOPED_TRACE(c.name);
    fake->clearRequests();
    EvTask writer(5, 0, nullptr, false);
    EXPECT_EQ(YM_DB_NODATA, (writer.*c.set)(nullptr, nullptr));
    EXPECT_EQ(0u, fake->requestCount()) << "a missing item is refused";
    EXPECT_EQ(0, (writer.*c.set)(&item, nullptr));
    EXPECT_EQ(c.writes, optionWrites(*fake));
    const bool number = c.writes.find("][") != std::string::npos;
    for (int failing = 0; failing < 3; ++failing) {
      if (failing == 1 && !number) continue;
      fake->clearRequests();
      EvTask task(5, 0, nullptr, false);
      if (failing == 2 && number) fake->respond(msg::kSetOptions, GenericResp{});
      fake->respondError(failing == 0 ? msg::kGetOptions : msg::kSetOptions, 91, "refused");
      LogCapture cap;
      EXPECT_EQ(failing == 0 ? "91 0 " : "91", failing == 0 ? got(task, c.get)
                                                          : std::to_string((task.*c.set)(&item, nullptr)));
      const std::string line = std::string("Could not ") + (failing != 0 ? "set " : "get ") + c.subject +
                               (failing == 2 || !number ? " value" : " Id") + ". DB Error [91]";
      EXPECT_TRUE(cap.contains(std::string("EvTask::") + (failing != 0 ? "set" : "get") + c.name, line)) << line;
      EXPECT_EQ("refused", task.getErrorString());
      EXPECT_EQ(failing == 0 ? 0u : number ? size_t(failing) : 1u, countOf(*fake, msg::kSetOptions));
    }
  }
}

// A value field without a terminator is read to its end, never past it.
TEST_F(SpecialisedTaskTest, CommandSettersNeverReadPastTheValueField) {
  RestoreTaskOptionsItem item;
  item.id = 1;
  std::memset(item.value, 'u', sizeof item.value);
  EXPECT_EQ(0, EvTask(5, 0, nullptr, false).setPrePostPassWord(&item, nullptr));
  EXPECT_EQ("[189156630:1:" + std::string(1024, 'u') + "]", optionWrites(*fake));
}

// --- layout --------------------------------------------------------------------------------------------------

namespace {

// The variant's own operations follow EvTask's last one, in declaration
// order, one slot each.
void expectAppendedInOrder(const std::vector<std::ptrdiff_t>& slots) {
  const std::ptrdiff_t first = slotOf(&EvTask::getOriginalJobId) + 1;
  for (size_t i = 0; i < slots.size(); ++i) EXPECT_EQ(first + static_cast<std::ptrdiff_t>(i), slots[i]) << i;
}

}  // namespace

#define SLOTS(Task, Name, T, id) slotOf(&Task::get##Name), slotOf(&Task::set##Name),

TEST(SpecialisedTaskLayoutTest, OperationsFollowTheTaskOperations) {
  std::vector<std::ptrdiff_t> restore = {RESTORE_ACCESSORS(SLOTS) slotOf(&R::addPath), slotOf(&R::getFirstPath),
                                         slotOf(&R::getNextPath), slotOf(&R::deleteSrcPaths),
                                         slotOf(&R::deleteDestPaths), slotOf(&R::deletePowerRstSearchPaths),
                                         slotOf(&R::deleteFilterPaths)};
  // The restore kind tests follow the accessors of their files (the 27th and 28th).
  restore.insert(restore.begin() + 2 * 27, slotOf(&R::IsMediaPredictionRestore));
  restore.insert(restore.begin() + 2 * 28 + 1, slotOf(&R::IsOnDemandRestore));
  expectAppendedInOrder(restore);
  expectAppendedInOrder({BACKUP_ACCESSORS(SLOTS)});
  expectAppendedInOrder({ADMIN_ACCESSORS(SLOTS)});
}

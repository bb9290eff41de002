#include "ServiceScenario.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <list>
#include <vector>

#include "platform/ClientFacts.h"
#include "platform/EvDebug.h"
#include "schedule/XmlMessages.h"
#include "task/EvTask.h"
#include "platform/YMGlobalParam.h"
#include "service/TaskCallBack.h"
#include "service/TaskInterfaceNet.h"

namespace evtask {
namespace test {

namespace {

struct Collect : OptionCallBack, FileCallBack {
  std::vector<std::string> got;
  int getOptionsCallback(unsigned long long id, std::string value, unsigned long type) override {
    got.push_back(std::to_string(id) + ":" + std::to_string(type) + "=" + value);
    return 0;
  }
  int getDefaultsCallback(unsigned long long id, std::string value, unsigned long type) override {
    return getOptionsCallback(id, value, type);
  }
  int getFilesCallback(unsigned long long id, std::string value, unsigned long type) override {
    return getOptionsCallback(id, value, type);
  }
};

std::vector<std::string> options(TaskInterfaceNet& net, unsigned long taskId) {
  _TaskInfo t;
  t.taskId = taskId;
  t.idKind = 2;
  Collect c;
  std::string err;
  EXPECT_EQ(0, net.getOptions(t, &c, err, nullptr)) << err;
  return c.got;
}

}  // namespace

std::string makeTempDir() {
  char tmpl[] = "/tmp/evtask-appmgr-XXXXXX";
  const char* d = mkdtemp(tmpl);
  return d != nullptr ? d : "";
}

void removeTree(const std::string& dir) {
  if (dir.size() > 5) std::system(("rm -rf '" + dir + "'").c_str());
}

void runServiceScenario(unsigned long base) {
  TaskInterfaceNet net;
  std::string err;

  // Rows: a missing task, then a task, subtask and entities written and read.
  _TaskInfo missing;
  missing.taskId = base + 99;
  EXPECT_EQ(100, net.getTaskInfo(missing, err, nullptr));
  EXPECT_EQ("task " + std::to_string(base + 99) + " does not exist", err);

  _TaskInfo t;
  t.taskId = base;
  t.subTaskId = base + 1;
  t.idKind = 2;
  t.task.taskId = base;
  t.task.flags = 3;
  t.task.status = 4;
  t.task.reserved6 = 9;
  t.task.reserved64 = 0x1122334455667788ULL;
  t.subTask.subTaskId = base + 1;
  t.subTask.taskId = base;
  t.subTask.subTaskType = 2;
  t.subTask.operationType = 4003;
  Sched_AssocEntity e1, e2;
  e1.taskId = base;
  e1.clientId = 2;
  e1.subclientId = 11;
  e2.taskId = base;
  e2.clientId = 3;
  e2.extraValue2 = 7;
  t.entities = {e1, e2};
  ASSERT_EQ(0, net.setTaskInfo(t, err, nullptr)) << err;
  ASSERT_EQ(0, net.setSubTaskInfo(t, err, nullptr)) << err;
  ASSERT_EQ(0, net.setEntityInfo(t, err, nullptr)) << err;

  _TaskInfo r;
  r.taskId = base;
  r.subTaskId = base + 1;
  ASSERT_EQ(0, net.getTaskInfo(r, err, nullptr)) << err;
  EXPECT_EQ(3u, r.task.flags);
  EXPECT_EQ(4u, r.task.status);
  EXPECT_EQ(9u, r.task.reserved6);
  EXPECT_EQ(0x1122334455667788ULL, r.task.reserved64);
  ASSERT_EQ(0, net.getSubTaskInfo(r, err, nullptr)) << err;
  EXPECT_EQ(4003, r.subTask.operationType);
  EXPECT_EQ(base, r.subTask.taskId);
  ASSERT_EQ(0, net.getEntityInfo(r, err, nullptr)) << err;
  ASSERT_EQ(2u, r.entities.size());
  EXPECT_EQ(11, r.entities[0].subclientId);
  EXPECT_EQ(3, r.entities[1].clientId);
  EXPECT_EQ(7, r.entities[1].extraValue2);

  // Options: multi-valued ids, replacement, removal by record and by the
  // low 32 bits of an id.
  TaskOption o1(1, "3", 7), o6a(6, "a", 1), o6b(6, "b", 1), big(0x100000005ULL, "9", 7);
  ASSERT_EQ(0, net.setOptions(t, {&o1, &o6a, &o6b, &big}, err, nullptr)) << err;
  EXPECT_EQ((std::vector<std::string>{"1:7=3", "6:1=a", "6:1=b", "4294967301:7=9"}), options(net, base));
  TaskOption o1new(1, "4", 7);
  ASSERT_EQ(0, net.setOptions(t, {&o1new}, err, nullptr)) << err;
  EXPECT_EQ((std::vector<std::string>{"6:1=a", "6:1=b", "4294967301:7=9", "1:7=4"}), options(net, base));
  ASSERT_EQ(0, net.removeOptions(t, std::vector<unsigned long long>{5}, err, nullptr)) << err;
  ASSERT_EQ(0, net.removeOptions(t, std::vector<const TaskOption*>{&o6a}, err, nullptr)) << err;
  EXPECT_EQ((std::vector<std::string>{"1:7=4"}), options(net, base));
  TaskOption badType(2, "x", 3);
  EXPECT_NE(0, net.setOptions(t, {&o1, &badType}, err, nullptr));
  EXPECT_EQ("option 2 has unknown type code 3", err);
  EXPECT_EQ((std::vector<std::string>{"1:7=4"}), options(net, base)) << "a refused write changes nothing";

  // Files.
  TaskFile f1(150001, "/etc", 1), f2(150002, "/restore", 1);
  ASSERT_EQ(0, net.setFiles(t, {&f1, &f2}, err, nullptr)) << err;
  ASSERT_EQ(0, net.removeFiles(t, std::vector<std::string>{"/etc"}, err, nullptr)) << err;
  Collect files;
  ASSERT_EQ(0, net.getFiles(t, &files, err, nullptr)) << err;
  EXPECT_EQ((std::vector<std::string>{"150002:1=/restore"}), files.got);

  // Option text by key.
  t.optionKey = 77;
  t.optionText = "<opt a=\"1\"/>";
  ASSERT_EQ(0, net.update(t, err, nullptr)) << err;
  _TaskInfo lk;
  lk.taskId = base;
  lk.optionKey = 77;
  lk.optionText = "stale";
  ASSERT_EQ(0, net.lookup(lk, err, nullptr)) << err;
  EXPECT_EQ("<opt a=\"1\"/>", lk.optionText);
  lk.optionKey = 78;
  ASSERT_EQ(0, net.lookup(lk, err, nullptr)) << err;
  EXPECT_EQ("", lk.optionText);

  // Demo task texts and defaults.
  _TaskInfo demo;
  demo.taskId = 1001;
  ASSERT_EQ(0, net.getXMLOptions(demo, err, nullptr)) << err;
  EXPECT_EQ("<TaskOptions backupLevel=\"2\"/>", demo.xmlOptions);
  ASSERT_EQ(0, net.getExtendedOptions(demo, err, nullptr)) << err;
  EXPECT_EQ("compress=1;", demo.extendedOptions);
  ASSERT_EQ(0, net.getBitOptions(demo, err, nullptr)) << err;
  EXPECT_EQ(5u, demo.bitOptions);
  Collect defaults;
  ASSERT_EQ(0, net.getDefaults(&defaults, err, nullptr)) << err;
  EXPECT_EQ(4u, defaults.got.size());
  std::string value = "kept";
  ASSERT_EQ(0, net.getDefaultOption(3, value, err, nullptr)) << err;
  EXPECT_EQ("/var/tmp", value);
  value = "kept";
  ASSERT_EQ(0, net.getDefaultOption(12345, value, err, nullptr)) << err;
  EXPECT_EQ("kept", value);
  _TaskInfo def;
  ASSERT_EQ(0, net.getDefaultTaskId(def, err, nullptr)) << err;
  EXPECT_EQ(1u, def.task.taskId);

  // Jobs of a demo task.
  std::list<unsigned long long> jobs;
  ASSERT_EQ(0, net.getJobListFromTaskId(demo, jobs, err, nullptr)) << err;
  ASSERT_EQ(1u, jobs.size());
  _TaskInfo byJob;
  byJob.jobId = jobs.front();
  ASSERT_EQ(0, net.getJobInfo(byJob, err, nullptr)) << err;
  EXPECT_EQ(1001u, byJob.taskId);
  EXPECT_EQ(2001u, byJob.subTaskId);
  long long requestId = -1;
  ASSERT_EQ(0, net.getJobRequestIdFromJobId(requestId, static_cast<long long>(jobs.front()), err, nullptr)) << err;
  EXPECT_GT(requestId, 0);
  requestId = -1;
  EXPECT_EQ(100, net.getJobRequestIdFromJobId(requestId, 987654, err, nullptr));
  EXPECT_EQ(-1, requestId);
  std::list<unsigned long long> statJobs;
  ASSERT_EQ(0, net.getJobIdsFromBkpStats(statJobs, "", false, 1, err, nullptr)) << err;
  EXPECT_EQ(1u, statJobs.size()) << "a positive number caps the count";

  // Patterns of the demo task, found through its first entity.
  ASSERT_EQ(0, net.getEntityInfo(demo, err, nullptr)) << err;
  ASSERT_EQ(2u, demo.entities.size());
  ASSERT_EQ(0, net.getPatternInfo(demo, err, nullptr)) << err;
  ASSERT_EQ(1u, demo.patterns.size());
  EXPECT_EQ("nightly", demo.patterns[0].text1);
  EXPECT_EQ("Europe/Berlin", demo.patterns[0].text3);
  EXPECT_EQ(4, demo.patterns[0].value2);

  // Catalogue lists.
  std::list<_ComplianceOptionInfo> compliance;
  ASSERT_EQ(0, net.getComplianceOptionList(1001, compliance, err, 0, ymComplianceOptions(1), 0)) << err;
  ASSERT_EQ(1u, compliance.size());
  EXPECT_EQ("retain 7 days", compliance.front().name);
  std::list<_RecordCenterInfo> centers;
  ASSERT_EQ(0, net.getRecordCenterList(centers, err, 0)) << err;
  ASSERT_EQ(1u, centers.size());
  EXPECT_EQ("https://records.example", centers.front().text6);
  std::list<_RecordConnectorInfo> connectors;
  ASSERT_EQ(0, net.getRecordConnectorList(connectors, err, 2)) << err;
  EXPECT_EQ(0u, connectors.size()) << "number 2 selects no connector";
  std::list<_LegalHoldInfo> holds;
  ASSERT_EQ(0, net.getLegalHoldList(holds, err, "finance")) << err;
  ASSERT_EQ(1u, holds.size());
  EXPECT_EQ(3u, holds.front().words1[2]);
  EXPECT_EQ(5u, holds.front().words2[0]);
  std::list<_DM2TagInfo> tags;
  _DM2TagInfo filter;
  filter.text2 = "sales";
  ASSERT_EQ(0, net.getTagList(tags, err, &filter)) << err;
  ASSERT_EQ(1u, tags.size());
  EXPECT_EQ("demo-nas", tags.front().text3);
  _UpdateInformation updates;
  updates.updates.resize(2);
  updates.updates.front().firstWord = 2;
  updates.updates.back().firstWord = 3;
  ASSERT_EQ(0, net.GetUpdateInfo(updates, err, 0, 0, 0)) << err;
  ASSERT_EQ(2u, updates.updates.size());
  EXPECT_EQ(0u, updates.updates.front().secondWord);
  EXPECT_EQ(1u, updates.updates.back().secondWord);

  // Platform messages.
  YMGlobalParam params;
  std::string pv = "x";
  ASSERT_EQ(0, params.set("ScenarioParam" + std::to_string(base), "on", nullptr));
  ASSERT_EQ(0, params.get("ScenarioParam" + std::to_string(base), pv, nullptr));
  EXPECT_EQ("on", pv);
  ASSERT_EQ(0, params.get("NeverSet", pv, nullptr));
  EXPECT_EQ("", pv);
  bool nas = false;
  ASSERT_EQ(0, YMClient(3).isNASClient(nas, nullptr));
  EXPECT_TRUE(nas);
  std::string version;
  ASSERT_EQ(0, ClientProperties(2).getVersionInfo(version, nullptr));
  EXPECT_EQ("11 SP20", version);
  App::DistributedClusterType cluster = -1;
  ASSERT_EQ(0, DistributedClusterInstance(3).getClusterType(cluster, nullptr));
  EXPECT_EQ(2, cluster);
  EXPECT_EQ(100, YMClient(99).isNASClient(nas, nullptr));
}

}  // namespace test
}  // namespace evtask

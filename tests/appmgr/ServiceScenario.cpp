#include "ServiceScenario.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <list>
#include <vector>

#include "platform/ClientFacts.h"
#include "platform/XmlServices.h"
#include "platform/YMGlobalParam.h"
#include "platform/YmErrors.h"
#include "schedule/XmlMessages.h"
#include "service/TaskCallBack.h"
#include "service/TaskInterfaceNet.h"
#include "task/EvTask.h"

namespace evtask {
namespace test {

namespace {

struct Collect : OptionCallBack {
  std::vector<std::string> got;
  int getOptionsCallback(unsigned long long id, std::string value, unsigned long type) override {
    got.push_back(std::to_string(id) + ":" + std::to_string(type) + "=" + value);
    return 0;
  }
  int getDefaultsCallback(unsigned long long id, std::string v, unsigned long t) override { return getOptionsCallback(id, v, t); }
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
  _TaskInfo missing;
  missing.taskId = base + 99;
  EXPECT_EQ(100, net.getTaskInfo(missing, err, nullptr));
  EXPECT_EQ("task " + std::to_string(base + 99) + " does not exist", err);

  // A task, its subtask and entities written and read back.
  _TaskInfo t;
  t.taskId = t.task.taskId = t.subTask.taskId = base;
  t.subTaskId = t.subTask.subTaskId = base + 1;
  t.idKind = 2;
  t.task.flags = 3;
  t.task.status = 4;
  t.task.reserved64 = 0x1122334455667788ULL;
  t.subTask.operationType = 4003;
  Sched_AssocEntity e1, e2;
  e1.taskId = e2.taskId = base;
  e1.subclientId = 11;
  e2.clientId = 3;
  t.entities = {e1, e2};
  ASSERT_EQ(0, net.setTaskInfo(t, err, nullptr)) << err;
  ASSERT_EQ(0, net.setSubTaskInfo(t, err, nullptr)) << err;
  ASSERT_EQ(0, net.setEntityInfo(t, err, nullptr)) << err;
  _TaskInfo r;
  r.taskId = base;
  r.subTaskId = base + 1;
  ASSERT_EQ(0, net.getTaskInfo(r, err, nullptr)) << err;
  ASSERT_EQ(0, net.getSubTaskInfo(r, err, nullptr)) << err;
  ASSERT_EQ(0, net.getEntityInfo(r, err, nullptr)) << err;
  ASSERT_EQ(2u, r.entities.size());
  EXPECT_EQ(vals(3ul, 4ul, 0x1122334455667788ULL, 4003l, 11l, 3l),
            vals(r.task.flags, r.task.status, r.task.reserved64, long(r.subTask.operationType),
                 long(r.entities[0].subclientId), long(r.entities[1].clientId)));

  // Options are removed by the low 32 bits of their id; a write with an
  // unknown type is refused whole. (The tool tests write and read the rest.)
  TaskOption big(0x100000005ULL, "9", 7), o1(1, "4", 7), badType(2, "x", 3);
  ASSERT_EQ(0, net.setOptions(t, {&big, &o1}, err, nullptr)) << err;
  EXPECT_EQ((std::vector<std::string>{"4294967301:7=9", "1:7=4"}), options(net, base));
  ASSERT_EQ(0, net.removeOptions(t, std::vector<unsigned long long>{5}, err, nullptr)) << err;
  EXPECT_NE(0, net.setOptions(t, {&big, &badType}, err, nullptr));
  EXPECT_EQ("option 2 has unknown type code 3", err);
  EXPECT_EQ((std::vector<std::string>{"1:7=4"}), options(net, base));
  t.optionKey = 77;
  t.optionText = "<opt a=\"1\"/>";
  ASSERT_EQ(0, net.update(t, err, nullptr)) << err;
  t.optionText = "stale";
  ASSERT_EQ(0, net.lookup(t, err, nullptr)) << err;
  EXPECT_EQ("<opt a=\"1\"/>", t.optionText);

  // The demo task's texts, defaults, jobs and patterns.
  _TaskInfo demo, def, byJob;
  demo.taskId = 1001;
  Collect defaults;
  std::string value = "kept";
  std::list<unsigned long long> jobs, statJobs;
  long long requestId = -1;
  ASSERT_EQ(0, net.getXMLOptions(demo, err, nullptr)) << err;
  ASSERT_EQ(0, net.getExtendedOptions(demo, err, nullptr)) << err;
  ASSERT_EQ(0, net.getBitOptions(demo, err, nullptr)) << err;
  ASSERT_EQ(0, net.getDefaults(&defaults, err, nullptr)) << err;
  ASSERT_EQ(0, net.getDefaultOption(3, value, err, nullptr)) << err;
  ASSERT_EQ(0, net.getDefaultTaskId(def, err, nullptr)) << err;
  ASSERT_EQ(0, net.getJobListFromTaskId(demo, jobs, err, nullptr)) << err;
  ASSERT_EQ(0, net.getJobIdsFromBkpStats(statJobs, "", false, 1, err, nullptr)) << err;  // a positive number caps
  ASSERT_EQ(0, net.getEntityInfo(demo, err, nullptr)) << err;
  ASSERT_EQ(0, net.getPatternInfo(demo, err, nullptr)) << err;
  EXPECT_EQ(vals(std::string("<TaskOptions backupLevel=\"2\"/>"), std::string("compress=1;"), 5ul, size_t(4),
                 std::string("/var/tmp"), 1ul, size_t(1), size_t(1), size_t(1)),
            vals(demo.xmlOptions, demo.extendedOptions, demo.bitOptions, defaults.got.size(), value, def.task.taskId,
                 jobs.size(), statJobs.size(), demo.patterns.size()));
  ASSERT_EQ(1u, jobs.size() * demo.patterns.size());
  EXPECT_EQ("Europe/Berlin", demo.patterns[0].text3);
  byJob.jobId = jobs.front();
  ASSERT_EQ(0, net.getJobInfo(byJob, err, nullptr)) << err;
  ASSERT_EQ(0, net.getJobRequestIdFromJobId(requestId, static_cast<long long>(jobs.front()), err, nullptr)) << err;
  EXPECT_EQ(2001u, byJob.subTaskId);
  EXPECT_GT(requestId, 0);

  // Catalogue lists.
  std::list<_ComplianceOptionInfo> compliance;
  std::list<_RecordCenterInfo> centers;
  std::list<_RecordConnectorInfo> connectors;
  std::list<_LegalHoldInfo> holds;
  std::list<_DM2TagInfo> tags;
  _DM2TagInfo filter;
  filter.text2 = "sales";
  _UpdateInformation updates;
  updates.updates.resize(2);
  updates.updates.back().firstWord = 3;
  ASSERT_EQ(0, net.getComplianceOptionList(1001, compliance, err, 0, ymComplianceOptions(1), 0)) << err;
  ASSERT_EQ(0, net.getRecordCenterList(centers, err, 0)) << err;
  ASSERT_EQ(0, net.getRecordConnectorList(connectors, err, 2)) << err;  // number 2 selects none
  ASSERT_EQ(0, net.getLegalHoldList(holds, err, "finance")) << err;
  ASSERT_EQ(0, net.getTagList(tags, err, &filter)) << err;
  ASSERT_EQ(0, net.GetUpdateInfo(updates, err, 0, 0, 0)) << err;
  ASSERT_EQ(vals(size_t(1), size_t(1), size_t(0), size_t(1), size_t(1), size_t(2)),
            vals(compliance.size(), centers.size(), connectors.size(), holds.size(), tags.size(), updates.updates.size()));
  EXPECT_EQ(vals(std::string("retain 7 days"), std::string("https://records.example"), 3ul, std::string("demo-nas"), 1ul),
            vals(compliance.front().name, centers.front().text6, static_cast<unsigned long>(holds.front().words1[2]),
                 tags.front().text3, static_cast<unsigned long>(updates.updates.back().secondWord)));

  // Platform messages: a parameter never set, client facts, and texts read
  // by the manager (the class and a reading that gives the same message back).
  std::string pv = "x";
  ASSERT_EQ(0, YMGlobalParam().get("NeverSet", pv, nullptr));
  EXPECT_EQ("", pv);
  bool nas = false;
  std::string version;
  App::DistributedClusterType cluster = -1;
  ASSERT_EQ(0, YMClient(3).isNASClient(nas, nullptr));
  ASSERT_EQ(0, ClientProperties(2).getVersionInfo(version, nullptr));
  ASSERT_EQ(0, DistributedClusterInstance(3).getClusterType(cluster, nullptr));
  EXPECT_EQ(vals(true, std::string("11 SP20"), 2), vals(nas, version, static_cast<int>(cluster)));
  EXPECT_EQ(100, YMClient(99).isNASClient(nas, nullptr));
  XMLDecoder decoder;
  std::string good = "<m f=\"12\" c=\"1\"><i t=\"1\">7</i><s t=\"2\">read</s></m>", bad = "<m f=\"12\" c=";
  const CNMessageBase* m = decoder.unSerialize(good, nullptr);
  ASSERT_NE(nullptr, m) << decoder.lastError();
  long long seven = 0;
  std::string read;
  ASSERT_EQ(vals(0, 0), vals(m->getint64(1, 0, seven), m->getstring(2, 0, read)));
  EXPECT_EQ(vals(12u * 65536u + 1u, 7ll, std::string("read")), vals(static_cast<unsigned>(m->getTagID()), seven, read));
  EXPECT_EQ(nullptr, decoder.unSerialize(bad, nullptr));
  EXPECT_EQ(YM_XML_MALFORMED, decoder.lastCode());
  EXPECT_FALSE(decoder.lastError().empty());
}

}  // namespace test
}  // namespace evtask

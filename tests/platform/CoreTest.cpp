#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "platform/AppMgrTransport.h"
#include "platform/EvDebug.h"
#include "platform/YMPlatformInfo.h"
#include "platform/YmCriticalSection.h"
#include "platform/YmErrors.h"
#include "support/TestSupport.h"

using evtask::test::LogCapture;

namespace {

std::string writeTemp(const std::string& content) {
  char path[] = "/tmp/evtask-config-XXXXXX";
  const int fd = mkstemp(path);
  EXPECT_GE(fd, 0);
  EXPECT_EQ(static_cast<ssize_t>(content.size()), write(fd, content.data(), content.size()));
  close(fd);
  return path;
}

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override { YMPlatformInfo::clearStore(); }
  void TearDown() override { YMPlatformInfo::clearStore(); }
};

}  // namespace

TEST(CriticalSectionTest, LockExcludesOtherThreadsIsRecursiveAndAFailedHandleThrows) {
  YmCriticalSection cs;
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 2000; ++i) {
        YmCriticalSectionLock outer(&cs);
        YmCriticalSectionLock inner(&cs);  // re-entry by the owner must not deadlock
        const long seen = counter;
        counter = seen + 1;
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(8 * 2000, counter);

  YmCriticalSectionH::failCreateForTesting(true);
  const char* caught = nullptr;
  try {
    YmCriticalSection failing;
  } catch (const char* text) {
    caught = text;
  }
  YmCriticalSectionH::failCreateForTesting(false);
  ASSERT_NE(caught, nullptr);
  EXPECT_STREQ("Not enough memory to initialize YmCriticalSection", caught);
}

TEST_F(ConfigTest, LoadsIniFileAndCopiesOnlyNumbers) {
  const std::string path = writeTemp(
      "; comment\n[NodeAgent]\n sDisableCloudCaching = 0 \n# other\n[Base]\ndORCHIDTEMPDIR=/tmp/x\nhex=0x1F\n"
      "bad=12abc\nbig=4000000000\nnegative=-1\n");
  std::string err;
  ASSERT_EQ(0, YMPlatformInfo::loadFile(path, err)) << err;
  std::remove(path.c_str());
  YMPlatformInfo info;
  unsigned long v = 77;
  EXPECT_NE(0, info.getNumber("NodeAgent", "sDisableCloudCaching", &v));
  EXPECT_EQ(0u, v);
  unsigned int narrow = 9;
  for (const char* key : {"hex", "big"}) {
    EXPECT_NE(0, info.getNumber("Base", key, &v)) << key;
    EXPECT_NE(0, info.getNumber("Base", key, &narrow)) << key;
    EXPECT_EQ(v, narrow) << key;
  }
  EXPECT_EQ(4000000000u, narrow);
  // A value that is not a number counts as missing; a missing key writes nothing.
  for (const char* key : {"bad", "negative", "missing"}) {
    v = 5;
    narrow = 6;
    EXPECT_EQ(0, info.getNumber("Base", key, &v)) << key;
    EXPECT_EQ(0, info.getNumber("Base", key, &narrow)) << key;
    EXPECT_EQ(5u, v) << key;
    EXPECT_EQ(6u, narrow) << key;
  }
  std::string s;
  EXPECT_NE(0, info.getString("Base", "dORCHIDTEMPDIR", &s));
  EXPECT_EQ("/tmp/x", s);
  EXPECT_EQ(0, info.getString("base", "dORCHIDTEMPDIR", &s)) << "section names are case-sensitive";

  const std::string bad = writeTemp("[A]\nkey value without equals\n");
  EXPECT_EQ(-1, YMPlatformInfo::loadFile(bad, err));
  std::remove(bad.c_str());
  EXPECT_NE(std::string::npos, err.find(":2:")) << err;
  EXPECT_EQ(-1, YMPlatformInfo::loadFile("/nonexistent/evtask.ini", err));
}

// A bad line of the EVTASK_CONFIG file neither drops the whole file
// silently nor lets a session run against another endpoint.
TEST_F(ConfigTest, BadLineOfTheEnvironmentsFileIsReportedAndStopsSessions) {
  const std::string path =
      writeTemp("[Platform]\nLogLevel = 3\n[Broken\nAppMgrEndpoint = unix:/x\n[Base]\nx = 1\n= no key\n");
  const char* before = std::getenv("EVTASK_CONFIG");
  const std::string saved = before != nullptr ? before : "";
  setenv("EVTASK_CONFIG", path.c_str(), 1);
  YMPlatformInfo::reloadFromEnvironmentForTesting();
  LogCapture cap;
  std::string text;
  EXPECT_TRUE(YMPlatformInfo::configError(text));
  EXPECT_EQ("EVTASK_CONFIG " + path + ":3: malformed section header", text) << "the first bad line";
  YMPlatformInfo info;
  std::string value;
  EXPECT_NE(0, info.getString("Base", "x", &value)) << "good lines still apply";
  EXPECT_EQ("1", value);
  EXPECT_EQ(0, info.getString("Broken", "AppMgrEndpoint", &value)) << "keys of a bad section are skipped";
  EXPECT_EQ(0, info.getString("Platform", "AppMgrEndpoint", &value));
  for (int attempt = 0; attempt < 2; ++attempt) {
    int rc = 0;
    std::string err;
    EXPECT_EQ(nullptr, evtask::openAppMgrTransport(rc, err)) << "no fall-back to the embedded endpoint";
    EXPECT_EQ(YM_SESSION_BAD_CONFIG, rc);
    EXPECT_EQ("The configuration is not usable: " + text, err);
  }
  ASSERT_EQ(1u, cap.records().size()) << "logged once";
  EXPECT_EQ(EvLogRecord::kError, cap.records()[0].kind);
  EXPECT_EQ(text, cap.records()[0].text);
  YMPlatformInfo::clearStore();
  EXPECT_FALSE(YMPlatformInfo::configError(text)) << "a store replaced from code has no file error";
  setenv("EVTASK_CONFIG", saved.c_str(), 1);
  std::remove(path.c_str());
}

TEST_F(ConfigTest, BufferAndMultiTextFormsStayInsideTheirBounds) {
  YMPlatformInfo::setValue("S", "k", "hello");
  YMPlatformInfo info;
  char buf[8];
  std::memset(buf, 'Z', sizeof buf);
  int size = 5;  // needs 6 with the terminator
  EXPECT_EQ(0, info.getString("S", "k", buf, &size));
  EXPECT_EQ(6, size);
  EXPECT_EQ('Z', buf[0]);
  size = 6;
  EXPECT_NE(0, info.getString("S", "k", buf, &size));
  EXPECT_STREQ("hello", buf);
  EXPECT_EQ(5, size);
  EXPECT_EQ('Z', buf[6]);

  const char text[] = "a\0bb\0a\0\0ignored\0";
  std::set<std::string> out;
  YMPlatformInfo::FromMultiSZStringToSet(text, sizeof text, out);
  EXPECT_EQ((std::set<std::string>{"a", "bb"}), out);
  const char raw[3] = {'x', 'y', 'z'};  // no terminator: must stay inside the length
  out.clear();
  YMPlatformInfo::FromMultiSZStringToSet(raw, 3, out);
  EXPECT_EQ((std::set<std::string>{"xyz"}), out);
}

TEST(LoggingTest, CaptureSeesNameJobIdLevelAndWholeText) {
  LogCapture cap(4);
  const std::string big(5000, 'q');
  EvDebug::DebugLvl("EvTask::lookup", 4, 77LL, "id[%d]", 5);
  EvDebug::DebugLvl("EvTask::lookup", 5, "too detailed %s", "x");
  EvDebug::Error("Op::fail", "bad %s", "thing");
  EvDebug::DebugLvl("Op::fail", -1, "%s", big.c_str());
  const auto recs = cap.records();
  ASSERT_EQ(3u, recs.size());
  EXPECT_EQ("EvTask::lookup", recs[0].name);
  EXPECT_EQ("id[5]", recs[0].text);
  EXPECT_EQ(77LL, recs[0].jobId);
  EXPECT_EQ(4, recs[0].level);
  EXPECT_EQ(EvLogRecord::kError, recs[1].kind);
  EXPECT_EQ("bad thing", recs[1].text);
  EXPECT_EQ(big, recs[2].text) << "long messages are not cut";
  EXPECT_EQ(4, EvDebug::getDebugLevel());
}

TEST(LoggingTest, FileLinesStayWholeUnderConcurrency) {
  const std::string path = writeTemp("");
  YMPlatformInfo::clearStore();
  YMPlatformInfo::setValue("Platform", "LogFile", path);
  EvDebug::reconfigure();
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 200; ++i) EvDebug::DebugLvl("Log::test", 1, 42LL, "thread %d line %d end", t, i);
    });
  }
  for (auto& t : threads) t.join();
  YMPlatformInfo::clearStore();
  EvDebug::reconfigure();
  std::ifstream in(path);
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    ++count;
    EXPECT_NE(std::string::npos, line.find(" 42 L1 Log::test: thread ")) << line;
    EXPECT_EQ(" end", line.substr(line.size() - 4)) << line;
  }
  std::remove(path.c_str());
  EXPECT_EQ(800, count);
}

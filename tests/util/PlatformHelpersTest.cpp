#include "util/PlatformHelpers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/PlatformMessages.h"
#include "platform/YMPassword.h"
#include "support/FakeAppMgr.h"
#include "support/TestSupport.h"

namespace {

using evtask::test::FakeAppMgr;
using evtask::test::LogCapture;
using evtask::test::ScopedFakeAppMgr;

// The encrypted form the password service gives for `text`, made with a
// buffer far larger than the wrapper's.
std::string platformEncrypt(const std::string& text) {
  std::vector<char> out(16 * 1024);
  unsigned capacity = static_cast<unsigned>(out.size());
  YMPassword password;
  EXPECT_NE(0, password.encrypt(text.c_str(), out.data(), &capacity));
  return out.data();
}

std::string orNull(const char* result) { return result != nullptr ? result : "<null>"; }

TEST(PasswordWrapperTest, ResultsUpToTheBufferSizeAreAcceptedAndLongerOnesRefused) {
  // The longest text whose form fits with its terminator; base64 lengths
  // reach every value but 1 mod 4, so the boundary is exact.
  size_t fits = 0;
  for (size_t n = 1000; n < 2048; ++n) {
    if (platformEncrypt(std::string(n, 'k')).size() <= PasswordWrapper::kOutputSize - 1) fits = n;
  }
  const std::string longest = platformEncrypt(std::string(fits, 'k'));
  ASSERT_EQ(PasswordWrapper::kOutputSize - 1, longest.size());
  PasswordWrapper ok(std::string(fits, 'k'));
  EXPECT_EQ(longest, orNull(ok.encrypt()));
  EXPECT_NE(nullptr, ok.strongEncrypt());
  PasswordWrapper tooLong(std::string(fits + 1, 'k'));
  EXPECT_EQ(nullptr, tooLong.encrypt());
  EXPECT_EQ(nullptr, tooLong.strongEncrypt());
  // decrypt accepts one character less than encrypt.
  const std::string plainFits(PasswordWrapper::kOutputSize - 2, 'd');
  EXPECT_EQ(plainFits, orNull(PasswordWrapper(platformEncrypt(plainFits)).decrypt()));
  EXPECT_EQ(nullptr, PasswordWrapper(platformEncrypt(plainFits + "d")).decrypt());
  // Every result points into the one output buffer.
  const char* encrypted = ok.encrypt();
  ok.init(platformEncrypt("abc"));
  EXPECT_EQ(encrypted, ok.decrypt());
  EXPECT_STREQ("abc", encrypted);
  EXPECT_EQ(platformEncrypt(""), orNull(PasswordWrapper(static_cast<const char*>(nullptr)).strongEncrypt()));
}

TEST(PasswordWrapperTest, GetEncPasswordIsTheStoredFormOrNullWithoutAskingForAnUnstorableText) {
  PasswordWrapper wrapper("kinded");
  const std::string kindTwo = orNull(wrapper.getEncPassword(2));
  YMPassword password;
  ASSERT_NE(0, password.putEncPwd("kinded"));
  std::vector<char> out(4096);
  unsigned capacity = static_cast<unsigned>(out.size());
  ASSERT_NE(0, password.getEncPwd(out.data(), &capacity, 2));
  EXPECT_EQ(kindTwo, out.data());
  LogCapture cap;
  const char* earlier = wrapper.encrypt();
  ASSERT_NE(nullptr, earlier);
  const std::string form = earlier;
  wrapper.init(std::string(YMPassword::kMaxTextLength + 1, 'z'));
  EXPECT_EQ(nullptr, wrapper.getEncPassword(1));
  // getEncPwd clears the buffer when it fails: an intact earlier result shows it was not called.
  EXPECT_EQ(form, std::string(earlier));
  EXPECT_TRUE(cap.lines().empty());
}

TEST(ProcessNameTest, WritesTheNameAndTerminatorOnly) {
  char buffer[16];
  std::memset(buffer, 0x5A, sizeof buffer);
  EXPECT_EQ(buffer, GetProcessNameAndID(buffer));
  EXPECT_EQ(std::string("AppMgrNet") + '\0' + std::string(6, 0x5A), std::string(buffer, sizeof buffer));
  EXPECT_EQ(nullptr, GetProcessNameAndID(nullptr));
}

// --- default number of backup streams ---------------------------------------------------------

constexpr uint32_t kClient = 7;
constexpr uint32_t kInstance = 9;
const std::set<int> kFileSystemTypes = {1, 11, 17, 18, 19, 20, 21, 29, 33, 34, 36, 38, 42, 43, 63, 74};
const uint32_t kVersion = evtask::kFactVersionInfo;
const uint32_t kNas = evtask::kFactIsNASClient;
const uint32_t kNonNdmp = evtask::kFactIsNonNDMPClient;

// The fact kinds asked for, in order.
std::vector<uint32_t> factsAsked(FakeAppMgr& fake) {
  std::vector<uint32_t> kinds;
  for (const auto& request : fake.requests()) {
    if (request.type == evtask::kClientFactReq) kinds.push_back(request.as<evtask::ClientFactReq>().fact);
  }
  return kinds;
}

TEST(DefaultBackupStreamsTest, EveryTypeWithAndWithoutAClient) {
  ScopedFakeAppMgr fake;
  // Facts that give 0 for a client of a new service pack.
  fake->setClientFact(kVersion, kClient, 0, "11.0.0 SP22");
  fake->setClientFact(kNas, kClient, 1);
  for (int id = -1; id <= 300; ++id) {
    const bool fileSystem = kFileSystemTypes.count(id) != 0;
    const int fixed = id == 106 ? 5 : id == 12 ? 2 : id == 64 ? 4 : -1;
    fake->clearRequests();
    EXPECT_EQ(fileSystem ? 4 : fixed, getDefaultNumberofBackupStreams(id, 0, 0, nullptr)) << "type " << id;
    EXPECT_TRUE(factsAsked(*fake).empty()) << "no client, no question: type " << id;
    EXPECT_EQ(fileSystem ? (id == 38 ? 4 : 0) : fixed, getDefaultNumberofBackupStreams(id, kClient, 0, nullptr))
        << "type " << id;
  }
  EXPECT_EQ(4, getDefaultNumberofBackupStreams(11, -5, 0, nullptr));
}

TEST(DefaultBackupStreamsTest, FileSystemStreamsByVersionAndClientKind) {
  const std::vector<uint32_t> versionOnly = {kVersion};
  const std::vector<uint32_t> all = {kVersion, kNas, kNonNdmp};
  const struct {
    const char* version;  // null: no version fact
    int nas, nonNdmp;     // -1: no fact
    int expected;
    std::vector<uint32_t> asked;
  } cases[] = {
      {"11.0.0 SP22", 0, 0, 0, versionOnly}, {"11.0.0 SP21", 0, 0, 4, all},
      {"11.0.0 SP21", 1, 0, 0, {kVersion, kNas}}, {"11.0.0 SP21", 0, 1, 0, all},
      {"9.0.0 SP5", 1, 1, 4, versionOnly},   {"09.0.0 SP30", 1, 1, 4, versionOnly},
      {"1", 1, 1, 4, versionOnly},           {"10.0.0 SP40", 1, 1, 4, versionOnly},
      {"12.0.0", 0, 0, 0, all},              {"12", 0, 0, 0, all},
      {"99", 0, 0, 0, all},
      // Not starting with a digit: release 0.
      {"", 0, 0, 4, all},                    {"V11 SP30", 0, 0, 4, all},
      {" 11.0 SP30", 0, 0, 4, all},          {"V12", 1, 0, 0, {kVersion, kNas}},
      // Facts that cannot be read count as not set.
      {nullptr, -1, -1, 4, all},             {nullptr, -1, 1, 0, all},
  };
  for (const auto& c : cases) {
    const std::string label = std::string(c.version != nullptr ? c.version : "<none>") + " nas " +
                              std::to_string(c.nas) + " nonNdmp " + std::to_string(c.nonNdmp);
    ScopedFakeAppMgr fake;
    if (c.version != nullptr) fake->setClientFact(kVersion, kClient, 0, c.version);
    if (c.nas >= 0) fake->setClientFact(kNas, kClient, c.nas);
    if (c.nonNdmp >= 0) fake->setClientFact(kNonNdmp, kClient, c.nonNdmp);
    EXPECT_EQ(c.expected, getDefaultNumberofBackupStreams(1, kClient, 0, nullptr)) << label;
    EXPECT_EQ(c.asked, factsAsked(*fake)) << label;
  }
  // A transport failure on the version counts as release 0; the next call asks again.
  ScopedFakeAppMgr fake;
  fake->setClientFact(kVersion, kClient, 0, "12.0.0");
  fake->setClientFact(kNas, kClient, 0);
  fake->setClientFact(kNonNdmp, kClient, 0);
  fake->failNextSend(-1, "link down");
  EXPECT_EQ(4, getDefaultNumberofBackupStreams(1, kClient, 0, nullptr));
  EXPECT_EQ(0, getDefaultNumberofBackupStreams(1, kClient, 0, nullptr));
}

TEST(DefaultBackupStreamsTest, InstanceTypesDecideDistributedClusterAndCloudApps) {
  const uint32_t cluster = evtask::kFactClusterType, cloud = evtask::kFactCloudAppsInstanceType;
  const struct {
    int appType;
    uint32_t fact;
    int value, expected;
  } cases[] = {
      {64, cluster, 1, 4},  {64, cluster, 15, 4}, {64, cluster, 0, 0},  {64, cluster, 2, 0},
      {64, cluster, 14, 0}, {64, cluster, 16, 0}, {64, cluster, -1, 0}, {134, cloud, 33, 0},
      {134, cloud, 34, 0},  {134, cloud, 0, -1},  {134, cloud, 32, -1}, {134, cloud, 35, -1},
  };
  ScopedFakeAppMgr fake;
  for (const auto& c : cases) {
    fake->setClientFact(c.fact, kInstance, c.value);
    EXPECT_EQ(c.expected, getDefaultNumberofBackupStreams(c.appType, kClient, kInstance, nullptr))
        << "type " << c.appType << " instance type " << c.value;
  }
  // Unknown instance: the type reads as 0.
  EXPECT_EQ(0, getDefaultNumberofBackupStreams(64, kClient, kInstance + 1, nullptr));
  EXPECT_EQ(-1, getDefaultNumberofBackupStreams(134, kClient, kInstance + 1, nullptr));
  fake->clearRequests();
  EXPECT_EQ(4, getDefaultNumberofBackupStreams(64, kClient, -3, nullptr));
  EXPECT_EQ(-1, getDefaultNumberofBackupStreams(134, kClient, 0, nullptr));
  EXPECT_TRUE(fake->requests().empty()) << "no instance, no question";
}

}  // namespace

#include "util/PlatformHelpers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "platform/PlatformMessages.h"
#include "platform/YMPassword.h"
#include "platform/YMPlatformInfo.h"
#include "support/FakeAppMgr.h"
#include "support/TestSupport.h"

namespace {

using evtask::test::FakeAppMgr;
using evtask::test::LogCapture;
using evtask::test::ScopedFakeAppMgr;

// Sets a configuration value for the lifetime of the object and puts the
// previous state back afterwards.
class ScopedConfigValue {
 public:
  ScopedConfigValue(const std::string& section, const std::string& key, const std::string& value)
      : m_section(section), m_key(key) {
    YMPlatformInfo info;
    m_hadValue = info.getString(section, key, &m_previous) != 0;
    YMPlatformInfo::setValue(section, key, value);
  }
  ~ScopedConfigValue() {
    if (m_hadValue) {
      YMPlatformInfo::setValue(m_section, m_key, m_previous);
    } else {
      YMPlatformInfo::removeValue(m_section, m_key);
    }
  }

 private:
  std::string m_section, m_key, m_previous;
  bool m_hadValue = false;
};

// The encrypted form the password service gives for `text`, made with a
// buffer far larger than the wrapper's.
std::string platformEncrypt(const std::string& text) {
  std::vector<char> out(16 * 1024);
  unsigned capacity = static_cast<unsigned>(out.size());
  YMPassword password;
  EXPECT_NE(0, password.encrypt(text.c_str(), out.data(), &capacity));
  return out.data();
}

bool terminatedWithinBuffer(const char* result) {
  return std::memchr(result, '\0', PasswordWrapper::kOutputSize) != nullptr;
}

// ---------------------------------------------------------------------------
// PasswordWrapper

TEST(PasswordWrapperTest, EncryptDecryptRoundTrip) {
  const std::vector<std::string> texts = {"secret", "", "p\xc3\xa4ss w0rd!", std::string(300, 'x')};
  for (const std::string& text : texts) {
    PasswordWrapper wrapper(text);
    const char* encrypted = wrapper.encrypt();
    ASSERT_NE(nullptr, encrypted) << text;
    const std::string form = encrypted;
    EXPECT_EQ(platformEncrypt(text), form);
    EXPECT_NE(text, form);

    PasswordWrapper reverse(form);
    const char* plain = reverse.decrypt();
    ASSERT_NE(nullptr, plain) << form;
    EXPECT_EQ(text, plain);
  }
}

TEST(PasswordWrapperTest, StrongEncryptGivesTheSameFormAsEncrypt) {
  PasswordWrapper wrapper("hunter2");
  const char* first = wrapper.encrypt();
  ASSERT_NE(nullptr, first);
  const std::string plain = first;
  const char* strong = wrapper.strongEncrypt();
  ASSERT_NE(nullptr, strong);
  EXPECT_EQ(plain, strong);
  EXPECT_EQ(platformEncrypt("hunter2"), strong);
}

TEST(PasswordWrapperTest, ResultsPointIntoTheOneOutputBuffer) {
  PasswordWrapper wrapper("abc");
  const char* encrypted = wrapper.encrypt();
  ASSERT_NE(nullptr, encrypted);
  const std::string form = encrypted;
  wrapper.init(form);
  const char* plain = wrapper.decrypt();
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ(encrypted, plain);
  EXPECT_STREQ("abc", encrypted);  // the earlier result now shows the new text
}

TEST(PasswordWrapperTest, NullTextIsTheEmptyText) {
  PasswordWrapper wrapper(static_cast<const char*>(nullptr));
  const char* encrypted = wrapper.encrypt();
  ASSERT_NE(nullptr, encrypted);
  EXPECT_EQ(platformEncrypt(""), encrypted);
}

TEST(PasswordWrapperTest, DecryptOfInvalidFormIsNullAndLogsNothing) {
  LogCapture cap;
  for (const char* bad : {"", "not encrypted", "ev1:", "ev1:AAAA"}) {
    PasswordWrapper wrapper(bad);
    EXPECT_EQ(nullptr, wrapper.decrypt()) << bad;
  }
  // A form altered in one character is refused as well.
  std::string form = platformEncrypt("secret");
  char& middle = form[form.size() / 2];
  middle = middle == 'A' ? 'B' : 'A';
  PasswordWrapper altered(form);
  EXPECT_EQ(nullptr, altered.decrypt());
  EXPECT_TRUE(cap.lines().empty());
}

TEST(PasswordWrapperTest, EncryptAcceptsFormsUpToTheBufferSize) {
  // Find the longest text whose encrypted form fits the buffer with its
  // terminator; the form grows with the text, so the next one does not fit.
  size_t fits = 0;
  for (size_t n = 1000; n < 2048; ++n) {
    if (platformEncrypt(std::string(n, 'k')).size() <= PasswordWrapper::kOutputSize - 1) fits = n;
  }
  ASSERT_GT(fits, 0u);
  const std::string longest = platformEncrypt(std::string(fits, 'k'));
  // Base64 lengths reach every value but 1 mod 4, so the boundary is exact.
  ASSERT_EQ(PasswordWrapper::kOutputSize - 1, longest.size());

  PasswordWrapper ok(std::string(fits, 'k'));
  const char* result = ok.encrypt();
  ASSERT_NE(nullptr, result);
  EXPECT_EQ(longest, result);
  ASSERT_NE(nullptr, ok.strongEncrypt());

  PasswordWrapper tooLong(std::string(fits + 1, 'k'));
  EXPECT_EQ(nullptr, tooLong.encrypt());
  EXPECT_EQ(nullptr, tooLong.strongEncrypt());
}

TEST(PasswordWrapperTest, DecryptAcceptsTextsOneShorterThanTheBuffer) {
  const std::string fits(PasswordWrapper::kOutputSize - 2, 'd');
  PasswordWrapper ok(platformEncrypt(fits));
  const char* plain = ok.decrypt();
  ASSERT_NE(nullptr, plain);
  EXPECT_EQ(fits, plain);

  const std::string tooLong(PasswordWrapper::kOutputSize - 1, 'd');
  PasswordWrapper refused(platformEncrypt(tooLong));
  EXPECT_EQ(nullptr, refused.decrypt());
}

TEST(PasswordWrapperTest, GetEncPasswordRoundTripsAndBindsTheKind) {
  PasswordWrapper wrapper("kinded");
  const char* first = wrapper.getEncPassword(1);
  ASSERT_NE(nullptr, first);
  ASSERT_TRUE(terminatedWithinBuffer(first));
  const std::string kindOne = first;
  const char* second = wrapper.getEncPassword(2);
  ASSERT_NE(nullptr, second);
  const std::string kindTwo = second;
  EXPECT_NE(kindOne, kindTwo);

  // The same kind gives the same form again, as the platform does.
  YMPassword password;
  ASSERT_NE(0, password.putEncPwd("kinded"));
  std::vector<char> out(4096);
  unsigned capacity = static_cast<unsigned>(out.size());
  ASSERT_NE(0, password.getEncPwd(out.data(), &capacity, 2));
  EXPECT_EQ(kindTwo, out.data());

  for (const std::string& form : {kindOne, kindTwo}) {
    PasswordWrapper reverse(form);
    const char* plain = reverse.decrypt();
    ASSERT_NE(nullptr, plain);
    EXPECT_EQ("kinded", std::string(plain));
  }
}

TEST(PasswordWrapperTest, GetEncPasswordIsNullWhenTheTextCannotBeStored) {
  LogCapture cap;
  PasswordWrapper wrapper("first");
  const char* earlier = wrapper.encrypt();
  ASSERT_NE(nullptr, earlier);
  const std::string form = earlier;

  // A text over the platform's limit is refused by putEncPwd.
  wrapper.init(std::string(YMPassword::kMaxTextLength + 1, 'z'));
  EXPECT_EQ(nullptr, wrapper.getEncPassword(1));
  // getEncPwd clears the buffer when it fails; the earlier result being
  // intact shows that it was not called.
  EXPECT_EQ(form, std::string(earlier));
  EXPECT_TRUE(cap.lines().empty());
}

// ---------------------------------------------------------------------------
// Application type predicates

const std::set<unsigned long> kUnixTypes = {13, 17, 18, 19, 20, 21, 29, 36, 38, 40, 48, 63, 64, 66, 74, 75, 88};
const std::set<unsigned long> kCaseSensitiveTypes = {4, 16, 70};

unsigned long expectedCategory(unsigned long id) {
  static const std::vector<std::pair<unsigned long, std::set<unsigned long>>> table = {
      {1, {1, 93}},
      {2, {11, 33, 34, 42, 43, 91}},
      {3, {17, 18, 19, 20, 21, 29, 36, 38, 63, 74}},
      {4, {12, 86}},
  };
  for (const auto& row : table) {
    if (row.second.count(id) != 0) return row.first;
  }
  return 0;
}

// Ids beyond the table, including ones whose low byte or low bits match a
// listed id.
const unsigned long kFarIds[] = {201, 256 + 13, 256 + 4, 0x10000 + 17, 0x7FFFFFFF, 0x80000000 + 1, 0xFFFFFFFF};

TEST(AppTypePredicateTest, IsUnixTypeFSMatchesExactlyItsSet) {
  for (unsigned long id = 0; id <= 200; ++id) {
    EXPECT_EQ(kUnixTypes.count(id) != 0, IsUnixTypeFS(id)) << "id " << id;
  }
  for (unsigned long id : kFarIds) EXPECT_FALSE(IsUnixTypeFS(id)) << "id " << id;
}

TEST(AppTypePredicateTest, GetSCPNodeAgentTypeMatchesItsTable) {
  std::set<unsigned long> seen;
  for (unsigned long id = 0; id <= 200; ++id) {
    EXPECT_EQ(expectedCategory(id), GetSCPNodeAgentType(id)) << "id " << id;
    seen.insert(GetSCPNodeAgentType(id));
  }
  EXPECT_EQ((std::set<unsigned long>{0, 1, 2, 3, 4}), seen);
  for (unsigned long id : kFarIds) EXPECT_EQ(0u, GetSCPNodeAgentType(id)) << "id " << id;
}

TEST(AppTypePredicateTest, UnixTypesWithoutAgentCategory) {
  EXPECT_TRUE(IsUnixTypeFS(40));
  EXPECT_EQ(0u, GetSCPNodeAgentType(40));
  EXPECT_TRUE(IsUnixTypeFS(64));
  EXPECT_EQ(0u, GetSCPNodeAgentType(64));
}

TEST(AppTypePredicateTest, IsBackupSetCaseSensitiveMatchesExactlyItsSet) {
  for (unsigned long id = 0; id <= 200; ++id) {
    EXPECT_EQ(kCaseSensitiveTypes.count(id) != 0, IsBackupSetCaseSensitive(id)) << "id " << id;
  }
  for (unsigned long id : kFarIds) EXPECT_FALSE(IsBackupSetCaseSensitive(id)) << "id " << id;
}

// ---------------------------------------------------------------------------
// Process name

TEST(ProcessNameTest, WritesTheNameAndTerminatorOnly) {
  char buffer[16];
  std::memset(buffer, 0x5A, sizeof buffer);
  EXPECT_EQ(buffer, GetProcessNameAndID(buffer));
  EXPECT_STREQ("AppMgrNet", buffer);
  EXPECT_EQ('\0', buffer[9]);
  for (size_t i = 10; i < sizeof buffer; ++i) EXPECT_EQ(0x5A, buffer[i]) << "byte " << i;
}

TEST(ProcessNameTest, FitsExactlyTenBytes) {
  char buffer[10];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(buffer, GetProcessNameAndID(buffer));
  EXPECT_EQ(0, std::memcmp(buffer, "AppMgrNet", 10));
}

TEST(ProcessNameTest, NullBufferIsLeftAlone) { EXPECT_EQ(nullptr, GetProcessNameAndID(nullptr)); }

// ---------------------------------------------------------------------------
// Default number of backup streams

const std::set<int> kFileSystemTypes = {1, 11, 17, 18, 19, 20, 21, 29, 33, 34, 36, 38, 42, 43, 63, 74};

// The fact kinds asked for, in order.
std::vector<uint32_t> factsAsked(FakeAppMgr& fake) {
  std::vector<uint32_t> kinds;
  for (const auto& request : fake.requests()) {
    if (request.type == evtask::kClientFactReq) kinds.push_back(request.as<evtask::ClientFactReq>().fact);
  }
  return kinds;
}

class DefaultBackupStreamsTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kClient = 7;
  static constexpr uint32_t kInstance = 9;

  void setVersion(const std::string& text) { m_fake->setClientFact(evtask::kFactVersionInfo, kClient, 0, text); }
  void setNas(bool nas) { m_fake->setClientFact(evtask::kFactIsNASClient, kClient, nas ? 1 : 0); }
  void setNonNdmp(bool nonNdmp) { m_fake->setClientFact(evtask::kFactIsNonNDMPClient, kClient, nonNdmp ? 1 : 0); }
  int streams(int appType = 1) { return getDefaultNumberofBackupStreams(appType, kClient, 0, nullptr); }

  ScopedFakeAppMgr m_fake;
};

TEST_F(DefaultBackupStreamsTest, EveryTypeWithoutClientOrInstance) {
  for (int id = 0; id <= 200; ++id) {
    int expected = -1;
    if (kFileSystemTypes.count(id) != 0 || id == 64) expected = 4;
    if (id == 106) expected = 5;
    if (id == 12) expected = 2;
    EXPECT_EQ(expected, getDefaultNumberofBackupStreams(id, 0, 0, nullptr)) << "type " << id;
  }
  for (int id : {-1, 1000, 256 + 1, 256 + 12}) {
    EXPECT_EQ(-1, getDefaultNumberofBackupStreams(id, 0, 0, nullptr)) << "type " << id;
  }
  // Without a client or instance id no fact is asked for.
  EXPECT_TRUE(factsAsked(*m_fake).empty());
}

TEST_F(DefaultBackupStreamsTest, EveryFileSystemTypeOfANewServicePackClient) {
  setVersion("11.0.0 SP22");
  for (int id = 0; id <= 200; ++id) {
    int expected = -1;
    if (kFileSystemTypes.count(id) != 0) expected = id == 38 ? 4 : 0;
    if (id == 64) expected = 4;  // instance id 0
    if (id == 106) expected = 5;
    if (id == 12) expected = 2;
    EXPECT_EQ(expected, getDefaultNumberofBackupStreams(id, kClient, 0, nullptr)) << "type " << id;
  }
}

TEST_F(DefaultBackupStreamsTest, ClientIdBelowOneGivesFourWithoutAsking) {
  setVersion("12.0.0");
  setNas(true);
  EXPECT_EQ(4, getDefaultNumberofBackupStreams(1, 0, 0, nullptr));
  EXPECT_EQ(4, getDefaultNumberofBackupStreams(11, -5, 0, nullptr));
  EXPECT_TRUE(factsAsked(*m_fake).empty());
}

TEST_F(DefaultBackupStreamsTest, ServicePackAbove21OnRelease11GivesZeroWithoutClientKind) {
  setVersion("11.0.0 SP22");
  EXPECT_EQ(0, streams());
  EXPECT_EQ((std::vector<uint32_t>{evtask::kFactVersionInfo}), factsAsked(*m_fake));
}

TEST_F(DefaultBackupStreamsTest, ServicePack21OnRelease11DependsOnClientKind) {
  setVersion("11.0.0 SP21");
  setNas(false);
  setNonNdmp(false);
  EXPECT_EQ(4, streams());
  EXPECT_EQ((std::vector<uint32_t>{evtask::kFactVersionInfo, evtask::kFactIsNASClient,
                                   evtask::kFactIsNonNDMPClient}),
            factsAsked(*m_fake));
  setNas(true);
  EXPECT_EQ(0, streams());
  setNas(false);
  setNonNdmp(true);
  EXPECT_EQ(0, streams());
}

TEST_F(DefaultBackupStreamsTest, OldReleasesGiveFourWhateverTheClientKind) {
  setNas(true);
  setNonNdmp(true);
  for (const char* version : {"9.0.0 SP5", "09.0.0 SP30", "1", "10.0.0 SP40"}) {
    setVersion(version);
    m_fake->clearRequests();
    EXPECT_EQ(4, streams()) << version;
    EXPECT_EQ((std::vector<uint32_t>{evtask::kFactVersionInfo}), factsAsked(*m_fake)) << version;
  }
}

TEST_F(DefaultBackupStreamsTest, ReleasesAbove11GiveZero) {
  setNas(false);
  setNonNdmp(false);
  for (const char* version : {"12.0.0", "12", "20.1 SP1", "99"}) {
    setVersion(version);
    EXPECT_EQ(0, streams()) << version;
  }
  setVersion("11.0.0 SP10");
  EXPECT_EQ(4, streams());
}

TEST_F(DefaultBackupStreamsTest, VersionNotStartingWithADigitIsReleaseZero) {
  setNas(false);
  setNonNdmp(false);
  for (const char* version : {"", "V11 SP30", " 11.0 SP30", "x9"}) {
    setVersion(version);
    EXPECT_EQ(4, streams()) << version;
  }
  setNas(true);
  setVersion("V12");
  EXPECT_EQ(0, streams());
}

TEST_F(DefaultBackupStreamsTest, UnreadableFactsFallBackToFour) {
  // No facts for the client: every query fails.
  EXPECT_EQ(4, streams());
  EXPECT_EQ((std::vector<uint32_t>{evtask::kFactVersionInfo, evtask::kFactIsNASClient,
                                   evtask::kFactIsNonNDMPClient}),
            factsAsked(*m_fake));
  // Only the flags known: they still count.
  setNonNdmp(true);
  EXPECT_EQ(0, streams());
}

TEST_F(DefaultBackupStreamsTest, TransportFailureOnVersionCountsAsReleaseZero) {
  setVersion("12.0.0");
  setNas(false);
  setNonNdmp(false);
  m_fake->failNextSend(-1, "link down");
  EXPECT_EQ(4, streams());
  EXPECT_EQ(0, streams());  // the next exchange reads the version again
}

TEST_F(DefaultBackupStreamsTest, Type38GivesFourForAnyClient) {
  setVersion("12.0.0");
  setNas(true);
  EXPECT_EQ(4, getDefaultNumberofBackupStreams(38, kClient, 0, nullptr));
  EXPECT_TRUE(factsAsked(*m_fake).empty());
}

TEST_F(DefaultBackupStreamsTest, DistributedClusterByClusterType) {
  const struct {
    int clusterType;
    int expected;
  } rows[] = {{1, 4}, {15, 4}, {0, 0}, {2, 0}, {14, 0}, {16, 0}, {-1, 0}};
  for (const auto& row : rows) {
    m_fake->setClientFact(evtask::kFactClusterType, kInstance, row.clusterType);
    EXPECT_EQ(row.expected, getDefaultNumberofBackupStreams(64, kClient, kInstance, nullptr))
        << "cluster type " << row.clusterType;
  }
  // Unknown instance: the type stays 0.
  EXPECT_EQ(0, getDefaultNumberofBackupStreams(64, kClient, kInstance + 1, nullptr));
  EXPECT_EQ(4, getDefaultNumberofBackupStreams(64, kClient, 0, nullptr));
  EXPECT_EQ(4, getDefaultNumberofBackupStreams(64, kClient, -3, nullptr));
}

TEST_F(DefaultBackupStreamsTest, CloudAppsByInstanceType) {
  const struct {
    int instanceType;
    int expected;
  } rows[] = {{33, 0}, {34, 0}, {0, -1}, {32, -1}, {35, -1}, {1, -1}};
  for (const auto& row : rows) {
    m_fake->setClientFact(evtask::kFactCloudAppsInstanceType, kInstance, row.instanceType);
    EXPECT_EQ(row.expected, getDefaultNumberofBackupStreams(134, kClient, kInstance, nullptr))
        << "instance type " << row.instanceType;
  }
  EXPECT_EQ(-1, getDefaultNumberofBackupStreams(134, kClient, kInstance + 1, nullptr));
  m_fake->clearRequests();
  EXPECT_EQ(-1, getDefaultNumberofBackupStreams(134, kClient, 0, nullptr));
  EXPECT_TRUE(factsAsked(*m_fake).empty());
}

// ---------------------------------------------------------------------------
// Configuration store: the unsigned int lookup

TEST(PlatformInfoNumberTest, FoundValueIsCopied) {
  ScopedConfigValue value("HelperTest", "Count", "4000000000");
  YMPlatformInfo info;
  unsigned int out = 1;
  EXPECT_NE(0, info.getNumber("HelperTest", "Count", &out));
  EXPECT_EQ(4000000000u, out);

  ScopedConfigValue hex("HelperTest", "Hex", "0x1F");
  EXPECT_NE(0, info.getNumber("HelperTest", "Hex", &out));
  EXPECT_EQ(31u, out);
}

TEST(PlatformInfoNumberTest, MissingOrNonNumericKeyLeavesTheTargetUntouched) {
  YMPlatformInfo::removeValue("HelperTest", "Absent");
  YMPlatformInfo info;
  unsigned int out = 12345;
  EXPECT_EQ(0, info.getNumber("HelperTest", "Absent", &out));
  EXPECT_EQ(12345u, out);

  ScopedConfigValue text("HelperTest", "Word", "twelve");
  EXPECT_EQ(0, info.getNumber("HelperTest", "Word", &out));
  EXPECT_EQ(12345u, out);

  ScopedConfigValue negative("HelperTest", "Negative", "-1");
  EXPECT_EQ(0, info.getNumber("HelperTest", "Negative", &out));
  EXPECT_EQ(12345u, out);
}

}  // namespace

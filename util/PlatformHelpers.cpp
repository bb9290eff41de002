#include "util/PlatformHelpers.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "platform/ClientFacts.h"
#include "platform/YMPassword.h"
#include "util/StringUtils.h"

namespace {

// Output capacities handed to the password service. decrypt() gets one byte
// less than the buffer; the last byte then always stays the terminator.
constexpr unsigned kEncryptCapacity = PasswordWrapper::kOutputSize;
constexpr unsigned kDecryptCapacity = PasswordWrapper::kOutputSize - 1;

const unsigned long kUnixFileSystemTypes[] = {13, 17, 18, 19, 20, 21, 29, 36, 38, 40, 48, 63, 64, 66, 74, 75, 88};
const unsigned long kCaseSensitiveBackupSetTypes[] = {4, 16, 70};
const int kFileSystemTypes[] = {1, 11, 17, 18, 19, 20, 21, 29, 33, 34, 36, 38, 42, 43, 63, 74};

struct AgentCategory {
  unsigned long category;
  unsigned long types[10];
  size_t count;
};
const AgentCategory kAgentCategories[] = {
    {1, {1, 93}, 2},
    {2, {11, 33, 34, 42, 43, 91}, 6},
    {3, {17, 18, 19, 20, 21, 29, 36, 38, 63, 74}, 10},
    {4, {12, 86}, 2},
};

template <class T, size_t N>
bool isIn(const T (&set)[N], T value) {
  return std::find(std::begin(set), std::end(set), value) != std::end(set);
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The number in the first two characters of a version text; 0 when the text
// does not start with a digit.
int releaseOf(const std::string& version) {
  if (version.empty() || !isDigit(version[0])) return 0;
  int release = version[0] - '0';
  if (version.size() > 1 && isDigit(version[1])) release = release * 10 + (version[1] - '0');
  return release;
}

int fileSystemStreams(int appTypeId, int clientId, void* event) {
  if (clientId < 1 || appTypeId == 38) return 4;
  const unsigned long client = static_cast<unsigned long>(clientId);

  int release = 0;
  int servicePack = 0;
  int servicePackMinor = 0;
  {
    ClientProperties properties(client);
    std::string version;
    if (properties.getVersionInfo(version, event) == 0) {
      release = releaseOf(version);
      ParseSPVersionInfo(version, servicePack, servicePackMinor);
    }
  }
  if (release >= 1 && release <= 10) return 4;
  if (servicePack > 21 && release == 11) return 0;

  YMClient ymClient(client);
  bool isNas = false;
  if (ymClient.isNASClient(isNas, nullptr) == 0 && isNas) return 0;
  bool isNonNdmp = false;
  if ((ymClient.isNonNDMPClient(isNonNdmp, nullptr) == 0 && isNonNdmp) || release > 11) return 0;
  return 4;
}

}  // namespace

PasswordWrapper::PasswordWrapper(const std::string& text) : m_output() { init(text); }

PasswordWrapper::PasswordWrapper(const char* text) : m_output() { init(text != nullptr ? text : ""); }

void PasswordWrapper::init(const std::string& text) {
  m_text = text;
  m_output[kOutputSize - 1] = '\0';
}

const char* PasswordWrapper::encrypt() {
  YMPassword password;
  unsigned capacity = kEncryptCapacity;
  return password.encrypt(m_text.c_str(), m_output, &capacity) != 0 ? m_output : nullptr;
}

const char* PasswordWrapper::strongEncrypt() {
  YMPassword password;
  unsigned capacity = kEncryptCapacity;
  return password.encrypt(m_text.c_str(), m_output, &capacity) != 0 ? m_output : nullptr;
}

const char* PasswordWrapper::decrypt() {
  YMPassword password;
  unsigned capacity = kDecryptCapacity;
  return password.decrypt(m_text.c_str(), m_output, &capacity) != 0 ? m_output : nullptr;
}

const char* PasswordWrapper::getEncPassword(unsigned long kind) {
  YMPassword password;
  if (password.putEncPwd(m_text.c_str()) == 0) return nullptr;
  unsigned capacity = kEncryptCapacity;
  return password.getEncPwd(m_output, &capacity, kind) != 0 ? m_output : nullptr;
}

bool IsUnixTypeFS(unsigned long appTypeId) { return isIn(kUnixFileSystemTypes, appTypeId); }

unsigned long GetSCPNodeAgentType(unsigned long appTypeId) {
  for (const AgentCategory& c : kAgentCategories) {
    if (std::find(c.types, c.types + c.count, appTypeId) != c.types + c.count) return c.category;
  }
  return 0;
}

bool IsBackupSetCaseSensitive(unsigned long appTypeId) { return isIn(kCaseSensitiveBackupSetTypes, appTypeId); }

char* GetProcessNameAndID(char* buffer) {
  static const char kName[] = "AppMgrNet";
  static_assert(sizeof kName == 10, "nine characters and the terminator");
  if (buffer == nullptr) return nullptr;
  std::memcpy(buffer, kName, sizeof kName);
  return buffer;
}

int getDefaultNumberofBackupStreams(int appTypeId, int clientId, int instanceId, void* event) {
  if (isIn(kFileSystemTypes, appTypeId)) return fileSystemStreams(appTypeId, clientId, event);
  switch (appTypeId) {
    case 64: {
      if (instanceId < 1) return 4;
      DistributedClusterInstance instance(static_cast<unsigned long>(instanceId));
      App::DistributedClusterType type = 0;
      instance.getClusterType(type, event);
      return type == 1 || type == 15 ? 4 : 0;
    }
    case 106:
      return 5;
    case 12:
      return 2;
    case 134: {
      if (instanceId >= 1) {
        CloudAppsInstance instance(static_cast<unsigned long>(instanceId));
        App::CloudAppsInstanceType type = 0;
        instance.getInstanceType(type, event);
        if (type == 33 || type == 34) return 0;
      }
      return -1;
    }
    default:
      return -1;
  }
}

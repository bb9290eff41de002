#include "platform/YMPassword.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/YMPlatformInfo.h"

namespace {

const char kKeyA[] = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
const char kKeyB[] = "ff0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

void setKey(const std::string& key) { YMPlatformInfo::setValue("Platform", "PasswordKey", key); }
void clearKey() { YMPlatformInfo::removeValue("Platform", "PasswordKey"); }

// `capacity` usable bytes followed by canary bytes that no call may touch.
struct GuardedBuffer {
  explicit GuardedBuffer(unsigned capacity) : bytes(capacity + 64, '\xA5') {}
  char* out() { return bytes.data(); }
  bool intactFrom(size_t first) const {
    return std::all_of(bytes.begin() + first, bytes.end(), [](char b) { return b == '\xA5'; });
  }
  std::vector<char> bytes;
};

std::string encryptText(const std::string& text) {
  YMPassword pwd;
  std::vector<char> out(text.size() * 2 + 256);
  unsigned capacity = static_cast<unsigned>(out.size());
  if (pwd.encrypt(text.c_str(), out.data(), &capacity) == 0) {
    ADD_FAILURE() << "encrypt failed for a text of " << text.size() << " bytes";
    return std::string();
  }
  return std::string(out.data());
}

// The plain text, or "<failed>" when decrypt refuses.
std::string decrypted(const std::string& encrypted) {
  YMPassword pwd;
  std::vector<char> out(encrypted.size() + 16);
  unsigned capacity = static_cast<unsigned>(out.size());
  if (pwd.decrypt(encrypted.c_str(), out.data(), &capacity) == 0) {
    EXPECT_EQ('\0', out[0]) << "a failed decrypt must leave an empty text";
    return "<failed>";
  }
  return out.data();
}

std::string getEnc(YMPassword& pwd, unsigned long kind) {
  char out[512];
  unsigned capacity = sizeof(out);
  if (pwd.getEncPwd(out, &capacity, kind) == 0) return std::string("<failed>");
  return out;
}

std::string base64Payload(const std::string& encrypted, std::vector<unsigned char>* payload) {
  const std::string b64 = encrypted.substr(4);
  payload->assign(b64.size(), 0);
  size_t len = 0;
  EXPECT_EQ(0, sodium_base642bin(payload->data(), payload->size(), b64.data(), b64.size(), nullptr,
                                 &len, nullptr, sodium_base64_VARIANT_URLSAFE_NO_PADDING));
  payload->resize(len);
  return encrypted.substr(0, 4);
}

std::string rebuild(const std::string& prefix, const std::vector<unsigned char>& payload) {
  std::vector<char> b64(
      sodium_base64_ENCODED_LEN(payload.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING));
  sodium_bin2base64(b64.data(), b64.size(), payload.data(), payload.size(),
                    sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  return prefix + b64.data();
}

class PasswordTest : public ::testing::Test {
 protected:
  void SetUp() override { clearKey(); }
  void TearDown() override { clearKey(); }
};

// ---------------------------------------------------------------------------
// Round trips and the encrypted form

TEST_F(PasswordTest, RoundTripsShortEmptyLongAndNonAsciiTexts) {
  std::string longText;
  for (int i = 0; i < 100000; ++i) longText.push_back(static_cast<char>('!' + (i * 7919) % 94));
  for (const std::string& text :
       {std::string("secret"), std::string(), std::string("a"), longText,
        std::string("p\xC3\xA4sswort \xE2\x9C\x93 \xE5\xAF\x86\xE7\xA0\x81"),
        std::string(1, '\xFF') + "\x01\x7F", std::string(YMPassword::kMaxTextLength, 'x')}) {
    EXPECT_EQ(text, decrypted(encryptText(text))) << "text of " << text.size() << " bytes";
  }
}

TEST_F(PasswordTest, EncryptedFormIsPrintableDeterministicAndHidesTheText) {
  const std::string encrypted = encryptText("correct horse battery staple");
  ASSERT_EQ(0u, encrypted.rfind("ev1:", 0));
  EXPECT_EQ(std::string::npos, encrypted.find("horse"));
  for (char c : encrypted) {
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':')
        << "unexpected character " << static_cast<int>(c);
  }
  EXPECT_EQ(encryptText("secret"), encryptText("secret"));
  EXPECT_NE(encryptText("secret"), encryptText("secres"));
  EXPECT_NE(encryptText(""), encryptText(" "));
}

TEST_F(PasswordTest, NullArgumentsAndOverLongTextsFail) {
  YMPassword pwd;
  char out[256];
  unsigned capacity = sizeof(out);
  EXPECT_EQ(0, pwd.encrypt(nullptr, out, &capacity));
  EXPECT_EQ(0, pwd.encrypt("x", nullptr, &capacity));
  EXPECT_EQ(0, pwd.encrypt("x", out, nullptr));
  EXPECT_EQ(0, pwd.decrypt(nullptr, out, &capacity));
  EXPECT_EQ(0, pwd.decrypt(encryptText("x").c_str(), nullptr, &capacity));
  EXPECT_EQ(0, pwd.decrypt(encryptText("x").c_str(), out, nullptr));
  EXPECT_EQ(0, pwd.putEncPwd(nullptr));
  ASSERT_NE(0, pwd.putEncPwd("x"));
  EXPECT_EQ(0, pwd.getEncPwd(nullptr, &capacity, 1));
  EXPECT_EQ(0, pwd.getEncPwd(out, nullptr, 1));

  const std::string tooLong(YMPassword::kMaxTextLength + 1, 'x');
  GuardedBuffer buf(4u << 20);
  capacity = 4u << 20;
  EXPECT_EQ(0, pwd.encrypt(tooLong.c_str(), buf.out(), &capacity));
  EXPECT_EQ('\0', buf.out()[0]);
  EXPECT_EQ(0, pwd.putEncPwd(tooLong.c_str()));
}

// ---------------------------------------------------------------------------
// Keys

TEST_F(PasswordTest, TextEncryptedUnderOneKeyDecryptsOnlyUnderThatKey) {
  setKey(kKeyA);
  const std::string underA = encryptText("secret");
  setKey(kKeyB);
  EXPECT_EQ("<failed>", decrypted(underA));
  clearKey();
  EXPECT_EQ("<failed>", decrypted(underA));
  setKey(kKeyA);
  EXPECT_EQ("secret", decrypted(underA));

  YMPassword pwd;
  ASSERT_NE(0, pwd.putEncPwd("secret"));
  setKey(kKeyB);
  EXPECT_EQ("<failed>", getEnc(pwd, 1)) << "key changed between put and get";
  setKey(kKeyA);
  EXPECT_EQ("secret", decrypted(getEnc(pwd, 1)));
}

TEST_F(PasswordTest, KeyTextsAreReadAsHexOrHashedAndEmptyMeansBuiltIn) {
  const std::string builtIn = encryptText("secret");
  setKey("");
  EXPECT_EQ(builtIn, encryptText("secret"));
  setKey(kKeyA);
  const std::string underHex = encryptText("secret");
  EXPECT_NE(builtIn, underHex);
  // The same characters minus one digit are no longer hex and hash differently.
  setKey(std::string(kKeyA).substr(0, 63));
  EXPECT_NE(underHex, encryptText("secret"));

  const std::string notHex(64, 'g');
  setKey(notHex);
  const std::string underNotHex = encryptText("secret");
  setKey("short passphrase");
  EXPECT_NE(underNotHex, encryptText("secret"));
  EXPECT_EQ("<failed>", decrypted(underNotHex));
  setKey(notHex);
  EXPECT_EQ("secret", decrypted(underNotHex));
}

// ---------------------------------------------------------------------------
// Altered and foreign input

TEST_F(PasswordTest, AlteredTruncatedExtendedAndForeignFormsAreRefused) {
  const std::string encrypted = encryptText("secret");
  for (size_t i = 0; i < encrypted.size(); ++i) {
    std::string altered = encrypted;
    altered[i] = altered[i] == 'A' ? 'B' : 'A';
    EXPECT_EQ("<failed>", decrypted(altered)) << "changed position " << i;
  }
  for (size_t len = 0; len < encrypted.size(); ++len) {
    EXPECT_EQ("<failed>", decrypted(encrypted.substr(0, len))) << "length " << len;
  }
  for (const std::string& text : {encrypted + "A", encrypted + "=", std::string("secret"),
                                  std::string("ev1:!!!!"), std::string("ev2:AAAA"),
                                  std::string("EV1:AAAAAAAA")}) {
    EXPECT_EQ("<failed>", decrypted(text)) << text;
  }
}

TEST_F(PasswordTest, AuthenticTextContainingNulIsRefused) {
  // Sealed by hand with the built-in key, so only the NUL can make decrypt refuse.
  unsigned char master[32];
  const char builtIn[] = "evtask built-in password key, version 1";
  ASSERT_EQ(0, crypto_generichash(master, sizeof(master),
                                  reinterpret_cast<const unsigned char*>(builtIn),
                                  sizeof(builtIn) - 1, nullptr, 0));
  unsigned char cipherKey[32];
  ASSERT_EQ(0, crypto_kdf_derive_from_key(cipherKey, sizeof(cipherKey), 1, "evpasswd", master));
  auto seal = [&](const std::vector<unsigned char>& text) {
    std::vector<unsigned char> payload(9 + 24 + text.size() + 16, 0);
    for (size_t i = 0; i < 24; ++i) payload[9 + i] = static_cast<unsigned char>(i);
    unsigned char ad[13] = {'e', 'v', '1', ':'};  // form 0, kind 0
    unsigned long long sealedLen = 0;
    EXPECT_EQ(0, crypto_aead_xchacha20poly1305_ietf_encrypt(payload.data() + 33, &sealedLen,
                                                            text.data(), text.size(), ad,
                                                            sizeof(ad), nullptr,
                                                            payload.data() + 9, cipherKey));
    return rebuild("ev1:", payload);
  };
  ASSERT_EQ("ab", decrypted(seal({'a', 'b'})));
  EXPECT_EQ("<failed>", decrypted(seal({'a', '\0', 'b'})));
}

// ---------------------------------------------------------------------------
// Output capacity

// Every call that writes text: too small a buffer (zero included) fails,
// reports the size needed, empties the text and writes nothing past the
// capacity; the exact size succeeds.
void expectCapacityRules(const std::function<int(char*, unsigned*)>& call,
                         const std::string& expected, const std::string& what) {
  const unsigned needed = static_cast<unsigned>(expected.size() + 1);
  std::vector<unsigned> tooSmall = {0u, 1u, needed / 2, needed - 1};
  for (unsigned cap : tooSmall) {
    if (cap >= needed) continue;
    GuardedBuffer buf(cap);
    unsigned capacity = cap;
    EXPECT_EQ(0, call(buf.out(), &capacity)) << what << " capacity " << cap;
    EXPECT_EQ(needed, capacity) << what << " capacity " << cap;
    if (cap > 0) {
      EXPECT_EQ('\0', buf.out()[0]) << what << " capacity " << cap;
    }
    EXPECT_TRUE(buf.intactFrom(cap)) << what << " capacity " << cap;
  }
  GuardedBuffer exact(needed);
  unsigned capacity = needed;
  ASSERT_NE(0, call(exact.out(), &capacity)) << what;
  EXPECT_EQ(expected, exact.out()) << what;
  EXPECT_EQ(needed, capacity) << what;
  EXPECT_TRUE(exact.intactFrom(needed)) << what;
}

TEST_F(PasswordTest, OutputsFollowTheCapacityRules) {
  YMPassword pwd;
  const std::string encSecret = encryptText("secret");
  const std::string encEmpty = encryptText("");
  expectCapacityRules([&](char* o, unsigned* c) { return pwd.encrypt("secret", o, c); },
                      encSecret, "encrypt");
  expectCapacityRules([&](char* o, unsigned* c) { return pwd.decrypt(encSecret.c_str(), o, c); },
                      "secret", "decrypt");
  expectCapacityRules([&](char* o, unsigned* c) { return pwd.decrypt(encEmpty.c_str(), o, c); },
                      "", "decrypt of the empty text");
  ASSERT_NE(0, pwd.putEncPwd("secret"));
  expectCapacityRules([&](char* o, unsigned* c) { return pwd.getEncPwd(o, c, 9); },
                      getEnc(pwd, 9), "getEncPwd");

  // A failure that is not about size leaves the capacity alone.
  GuardedBuffer buf(0);
  unsigned capacity = 0;
  EXPECT_EQ(0, pwd.decrypt("not encrypted", buf.out(), &capacity));
  EXPECT_EQ(0u, capacity);
  EXPECT_TRUE(buf.intactFrom(0));
}

// ---------------------------------------------------------------------------
// Stored passwords bound to a kind

TEST_F(PasswordTest, GetEncPwdReturnsTheStoredTextEncryptedForTheKind) {
  YMPassword pwd;
  ASSERT_NE(0, pwd.putEncPwd("p\xC3\xA4ss"));
  const std::string kind7 = getEnc(pwd, 7);
  ASSERT_EQ(0u, kind7.rfind("ev1:", 0));
  EXPECT_EQ("p\xC3\xA4ss", decrypted(kind7));
  EXPECT_EQ(kind7, getEnc(pwd, 7));
  EXPECT_NE(kind7, getEnc(pwd, 8));
  EXPECT_NE(kind7, getEnc(pwd, 0));
  EXPECT_NE(kind7, encryptText("p\xC3\xA4ss"));
  EXPECT_EQ("p\xC3\xA4ss", decrypted(getEnc(pwd, ULONG_MAX)));
}

TEST_F(PasswordTest, GetEncPwdFailsWhenNothingIsStoredOrAPutFailed) {
  YMPassword pwd;
  char out[64];
  std::memset(out, 'z', sizeof(out));
  unsigned capacity = sizeof(out);
  EXPECT_EQ(0, pwd.getEncPwd(out, &capacity, 1));
  EXPECT_EQ('\0', out[0]);
  EXPECT_EQ(sizeof(out), capacity);

  ASSERT_NE(0, pwd.putEncPwd("old"));
  EXPECT_EQ(0, pwd.putEncPwd(nullptr));
  EXPECT_EQ("<failed>", getEnc(pwd, 1));
}

TEST_F(PasswordTest, StoredTextsAreKeptPerObjectAndReplacedByTheNextPut) {
  YMPassword first;
  YMPassword second;
  ASSERT_NE(0, first.putEncPwd("one"));
  ASSERT_NE(0, second.putEncPwd("two"));
  ASSERT_NE(0, first.putEncPwd("three"));
  EXPECT_EQ("three", decrypted(getEnc(first, 1)));
  EXPECT_EQ("two", decrypted(getEnc(second, 1)));
  ASSERT_NE(0, first.putEncPwd(""));
  EXPECT_EQ("", decrypted(getEnc(first, 1)));
}

TEST_F(PasswordTest, KindAndFormCannotBeRelabelled) {
  YMPassword pwd;
  ASSERT_NE(0, pwd.putEncPwd("secret"));
  std::vector<unsigned char> payload;
  const std::string prefix = base64Payload(getEnc(pwd, 5), &payload);
  ASSERT_GE(payload.size(), 9u);
  ASSERT_EQ(1, payload[0]);
  ASSERT_EQ(5, payload[1]);
  // Re-encoded untouched, it still decrypts: the failures below are the relabelling's.
  ASSERT_EQ("secret", decrypted(rebuild(prefix, payload)));

  const struct {
    unsigned char form, kind;
    const char* what;
  } cases[] = {{1, 6, "another kind"}, {0, 0, "a plain encrypt() form"}, {2, 5, "unknown form"}};
  for (const auto& c : cases) {
    std::vector<unsigned char> relabelled = payload;
    relabelled[0] = c.form;
    relabelled[1] = c.kind;
    EXPECT_EQ("<failed>", decrypted(rebuild(prefix, relabelled))) << c.what;
  }
}

}  // namespace

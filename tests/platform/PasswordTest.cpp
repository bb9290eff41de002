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
const char kFailed[] = "<failed>";

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

// Runs a call that writes text into a large buffer: the text, or kFailed.
std::string written(const std::function<int(char*, unsigned*)>& call, size_t size = 512) {
  std::vector<char> out(size, 'z');
  unsigned capacity = static_cast<unsigned>(out.size());
  if (call(out.data(), &capacity) == 0) {
    EXPECT_EQ('\0', out[0]) << "a failed call must leave an empty text";
    return kFailed;
  }
  return out.data();
}

std::string encryptText(const std::string& text) {
  YMPassword pwd;
  return written([&](char* o, unsigned* c) { return pwd.encrypt(text.c_str(), o, c); }, text.size() * 2 + 256);
}
std::string decrypted(const std::string& encrypted) {
  YMPassword pwd;
  return written([&](char* o, unsigned* c) { return pwd.decrypt(encrypted.c_str(), o, c); }, encrypted.size() + 16);
}
std::string getEnc(YMPassword& pwd, unsigned long kind) {
  return written([&](char* o, unsigned* c) { return pwd.getEncPwd(o, c, kind); });
}

// The payload of an encrypted form, and the form rebuilt from one.
std::vector<unsigned char> payloadOf(const std::string& encrypted) {
  const std::string b64 = encrypted.substr(4);
  std::vector<unsigned char> payload(b64.size());
  size_t len = 0;
  EXPECT_EQ(0, sodium_base642bin(payload.data(), payload.size(), b64.data(), b64.size(), nullptr, &len, nullptr,
                                 sodium_base64_VARIANT_URLSAFE_NO_PADDING));
  payload.resize(len);
  return payload;
}
std::string rebuild(const std::vector<unsigned char>& payload) {
  std::vector<char> b64(sodium_base64_ENCODED_LEN(payload.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING));
  sodium_bin2base64(b64.data(), b64.size(), payload.data(), payload.size(), sodium_base64_VARIANT_URLSAFE_NO_PADDING);
  return std::string("ev1:") + b64.data();
}

class PasswordTest : public ::testing::Test {
 protected:
  void SetUp() override { clearKey(); }
  void TearDown() override { clearKey(); }
};

TEST_F(PasswordTest, RoundTripsToAPrintableDeterministicFormThatHidesTheText) {
  for (const std::string& text : {std::string("secret"), std::string(), std::string("p\xC3\xA4sswort \xE2\x9C\x93"),
                                  std::string(1, '\xFF') + "\x01\x7F", std::string(YMPassword::kMaxTextLength, 'x')}) {
    EXPECT_EQ(text, decrypted(encryptText(text))) << "text of " << text.size() << " bytes";
  }
  const std::string encrypted = encryptText("correct horse battery staple");
  ASSERT_EQ(0u, encrypted.rfind("ev1:", 0));
  EXPECT_EQ(std::string::npos, encrypted.find("horse"));
  for (char c : encrypted) {
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':') << int(c);
  }
  EXPECT_EQ(encryptText("secret"), encryptText("secret"));
  EXPECT_NE(encryptText("secret"), encryptText("secres"));
  EXPECT_NE(encryptText(""), encryptText(" "));
}

TEST_F(PasswordTest, MissingTextsAndOverLongTextsFail) {
  YMPassword pwd;
  char out[256];
  unsigned capacity = sizeof(out);
  EXPECT_EQ(0, pwd.encrypt(nullptr, out, &capacity));
  EXPECT_EQ(0, pwd.decrypt(nullptr, out, &capacity));
  EXPECT_EQ(0, pwd.getEncPwd(out, &capacity, 1)) << "nothing stored";
  ASSERT_NE(0, pwd.putEncPwd("x"));
  EXPECT_EQ(0, pwd.putEncPwd(nullptr));
  EXPECT_EQ(kFailed, getEnc(pwd, 1)) << "a failed put forgets the earlier text";
  const std::string tooLong(YMPassword::kMaxTextLength + 1, 'x');
  EXPECT_EQ(kFailed, encryptText(tooLong));
  EXPECT_EQ(0, pwd.putEncPwd(tooLong.c_str()));
}

TEST_F(PasswordTest, KeysAreReadAsHexOrHashedAndATextDecryptsOnlyUnderItsKey) {
  const std::string builtIn = encryptText("secret");
  setKey("");
  EXPECT_EQ(builtIn, encryptText("secret")) << "empty means built in";
  setKey(kKeyA);
  const std::string underA = encryptText("secret");
  EXPECT_NE(builtIn, underA);
  YMPassword pwd;
  ASSERT_NE(0, pwd.putEncPwd("secret"));
  // The same characters minus one digit are no longer hex and hash differently.
  setKey(std::string(kKeyA).substr(0, 63));
  EXPECT_NE(underA, encryptText("secret"));
  setKey(kKeyB);
  EXPECT_EQ(kFailed, decrypted(underA));
  EXPECT_EQ(kFailed, getEnc(pwd, 1)) << "key changed between put and get";
  clearKey();
  EXPECT_EQ(kFailed, decrypted(underA));
  setKey(kKeyA);
  EXPECT_EQ("secret", decrypted(underA));
  EXPECT_EQ("secret", decrypted(getEnc(pwd, 1)));
  setKey("short passphrase");
  EXPECT_EQ(kFailed, decrypted(underA));
}

TEST_F(PasswordTest, AlteredTruncatedExtendedForeignAndNulContainingFormsAreRefused) {
  const std::string encrypted = encryptText("secret");
  for (size_t i = 0; i < encrypted.size(); ++i) {
    std::string altered = encrypted;
    altered[i] = altered[i] == 'A' ? 'B' : 'A';
    EXPECT_EQ(kFailed, decrypted(altered)) << "changed position " << i;
    EXPECT_EQ(kFailed, decrypted(encrypted.substr(0, i))) << "length " << i;
  }
  for (const std::string& text : {encrypted + "A", encrypted + "=", std::string("secret"), std::string("ev1:!!!!"),
                                  std::string("ev2:AAAA"), std::string("EV1:AAAAAAAA")}) {
    EXPECT_EQ(kFailed, decrypted(text)) << text;
  }
  // Sealed by hand with the built-in key, so only the NUL can make decrypt refuse.
  unsigned char master[32], cipherKey[32];
  const char builtIn[] = "evtask built-in password key, version 1";
  ASSERT_EQ(0, crypto_generichash(master, sizeof(master), reinterpret_cast<const unsigned char*>(builtIn),
                                  sizeof(builtIn) - 1, nullptr, 0));
  ASSERT_EQ(0, crypto_kdf_derive_from_key(cipherKey, sizeof(cipherKey), 1, "evpasswd", master));
  auto seal = [&](const std::vector<unsigned char>& text) {
    std::vector<unsigned char> payload(9 + 24 + text.size() + 16, 0);
    for (size_t i = 0; i < 24; ++i) payload[9 + i] = static_cast<unsigned char>(i);
    unsigned char ad[13] = {'e', 'v', '1', ':'};  // form 0, kind 0
    unsigned long long sealedLen = 0;
    EXPECT_EQ(0, crypto_aead_xchacha20poly1305_ietf_encrypt(payload.data() + 33, &sealedLen, text.data(), text.size(),
                                                            ad, sizeof(ad), nullptr, payload.data() + 9, cipherKey));
    return rebuild(payload);
  };
  ASSERT_EQ("ab", decrypted(seal({'a', 'b'})));
  EXPECT_EQ(kFailed, decrypted(seal({'a', '\0', 'b'})));
}

// Every call that writes text: too small a buffer (zero included) fails,
// reports the size needed, empties the text and writes nothing past the
// capacity; the exact size succeeds; no buffer or no capacity fails.
TEST_F(PasswordTest, OutputsFollowTheCapacityRules) {
  YMPassword pwd;
  const std::string encSecret = encryptText("secret");
  const std::string encEmpty = encryptText("");
  ASSERT_NE(0, pwd.putEncPwd("secret"));
  const struct {
    const char* what;
    std::function<int(char*, unsigned*)> call;
    std::string expected;
  } cases[] = {
      {"encrypt", [&](char* o, unsigned* c) { return pwd.encrypt("secret", o, c); }, encSecret},
      {"decrypt", [&](char* o, unsigned* c) { return pwd.decrypt(encSecret.c_str(), o, c); }, "secret"},
      {"decrypt of the empty text", [&](char* o, unsigned* c) { return pwd.decrypt(encEmpty.c_str(), o, c); }, ""},
      {"getEncPwd", [&](char* o, unsigned* c) { return pwd.getEncPwd(o, c, 9); }, getEnc(pwd, 9)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const unsigned needed = static_cast<unsigned>(c.expected.size() + 1);
    GuardedBuffer large(needed);
    unsigned largeCapacity = needed;
    EXPECT_EQ(0, c.call(nullptr, &largeCapacity));
    EXPECT_EQ(0, c.call(large.out(), nullptr));
    for (unsigned cap : {0u, 1u, needed / 2, needed - 1, needed}) {
      GuardedBuffer buf(cap);
      unsigned capacity = cap;
      EXPECT_EQ(cap == needed, c.call(buf.out(), &capacity) != 0) << "capacity " << cap;
      EXPECT_EQ(needed, capacity) << "capacity " << cap;
      if (cap > 0) {
        EXPECT_EQ(cap == needed ? c.expected : "", buf.out()) << "capacity " << cap;
      }
      EXPECT_TRUE(buf.intactFrom(cap)) << "capacity " << cap;
    }
  }
  // A failure that is not about size leaves the capacity alone.
  GuardedBuffer buf(0);
  unsigned capacity = 0;
  EXPECT_EQ(0, pwd.decrypt("not encrypted", buf.out(), &capacity));
  EXPECT_EQ(0u, capacity);
  EXPECT_TRUE(buf.intactFrom(0));
}

TEST_F(PasswordTest, StoredTextsAreKeptPerObjectAndBoundToTheirKind) {
  YMPassword first, second;
  ASSERT_NE(0, first.putEncPwd("one"));
  ASSERT_NE(0, second.putEncPwd("p\xC3\xA4ss"));
  ASSERT_NE(0, first.putEncPwd("three"));
  EXPECT_EQ("three", decrypted(getEnc(first, 1)));
  const std::string kind7 = getEnc(second, 7);
  EXPECT_EQ("p\xC3\xA4ss", decrypted(kind7));
  EXPECT_EQ(kind7, getEnc(second, 7));
  EXPECT_NE(kind7, getEnc(second, 8));
  EXPECT_NE(kind7, getEnc(second, 0));
  EXPECT_NE(kind7, encryptText("p\xC3\xA4ss"));
  EXPECT_EQ("p\xC3\xA4ss", decrypted(getEnc(second, ULONG_MAX)));

  // Relabelling the kind or the form of a stored text breaks it.
  ASSERT_NE(0, first.putEncPwd("secret"));
  const std::vector<unsigned char> payload = payloadOf(getEnc(first, 5));
  ASSERT_GE(payload.size(), 9u);
  ASSERT_EQ(1, payload[0]);
  ASSERT_EQ(5, payload[1]);
  ASSERT_EQ("secret", decrypted(rebuild(payload))) << "re-encoded untouched, it still decrypts";
  const unsigned char relabels[][2] = {{1, 6}, {0, 0}, {2, 5}};  // another kind, a plain form, an unknown form
  for (const auto& r : relabels) {
    std::vector<unsigned char> relabelled = payload;
    relabelled[0] = r[0];
    relabelled[1] = r[1];
    EXPECT_EQ(kFailed, decrypted(rebuild(relabelled))) << int(r[0]) << "/" << int(r[1]);
  }
}

}  // namespace

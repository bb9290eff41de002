#include "platform/YMPassword.h"

#include <gtest/gtest.h>
#include <sodium.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "platform/YMPlatformInfo.h"

namespace {

const char kKeyA[] = "000102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";
const char kKeyB[] = "ff0102030405060708090a0b0c0d0e0f101112131415161718191a1b1c1d1e1f";

void setKey(const std::string& key) { YMPlatformInfo::setValue("Platform", "PasswordKey", key); }
void clearKey() { YMPlatformInfo::removeValue("Platform", "PasswordKey"); }

// Output buffer followed by canary bytes: a call is given `capacity` bytes
// and must never touch what lies beyond.
class GuardedBuffer {
 public:
  static constexpr unsigned char kCanary = 0xA5;
  static constexpr size_t kGuard = 64;

  explicit GuardedBuffer(unsigned capacity)
      : m_capacity(capacity), m_bytes(capacity + kGuard, kCanary) {}

  char* out() { return reinterpret_cast<char*>(m_bytes.data()); }
  unsigned capacity() const { return m_capacity; }

  // True when no byte at or beyond the capacity was written.
  bool guardIntact() const {
    for (size_t i = m_capacity; i < m_bytes.size(); ++i) {
      if (m_bytes[i] != kCanary) return false;
    }
    return true;
  }
  // True when not a single byte was written.
  bool untouched() const {
    for (unsigned char b : m_bytes) {
      if (b != kCanary) return false;
    }
    return true;
  }

 private:
  unsigned m_capacity;
  std::vector<unsigned char> m_bytes;
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

// Returns true and the plain text when decrypt succeeds.
bool decryptText(const std::string& encrypted, std::string* text) {
  YMPassword pwd;
  std::vector<char> out(encrypted.size() + 16);
  unsigned capacity = static_cast<unsigned>(out.size());
  const int rc = pwd.decrypt(encrypted.c_str(), out.data(), &capacity);
  if (rc == 0) {
    EXPECT_EQ('\0', out[0]) << "a failed decrypt must leave an empty text";
    return false;
  }
  *text = out.data();
  return true;
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
  const std::vector<std::string> texts = {
      "secret", "", "a", longText, "p\xC3\xA4sswort \xE2\x9C\x93 \xE5\xAF\x86\xE7\xA0\x81",
      std::string(1, '\xFF') + "\x01\x7F"};
  for (const std::string& text : texts) {
    const std::string encrypted = encryptText(text);
    std::string back;
    ASSERT_TRUE(decryptText(encrypted, &back)) << "text of " << text.size() << " bytes";
    EXPECT_EQ(text, back);
  }
}

TEST_F(PasswordTest, EncryptedFormIsPrintableAndHidesTheText) {
  const std::string encrypted = encryptText("correct horse battery staple");
  ASSERT_EQ(0u, encrypted.rfind("ev1:", 0));
  EXPECT_EQ(std::string::npos, encrypted.find("horse"));
  for (char c : encrypted) {
    EXPECT_TRUE(std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_' || c == ':')
        << "unexpected character " << static_cast<int>(c);
  }
}

TEST_F(PasswordTest, SameTextGivesSameFormAndDifferentTextsDiffer) {
  EXPECT_EQ(encryptText("secret"), encryptText("secret"));
  EXPECT_NE(encryptText("secret"), encryptText("secres"));
  EXPECT_NE(encryptText(""), encryptText(" "));
}

TEST_F(PasswordTest, ExactlyTheLongestTextIsAcceptedAndOneMoreByteRefused) {
  const std::string longest(YMPassword::kMaxTextLength, 'x');
  std::string back;
  ASSERT_TRUE(decryptText(encryptText(longest), &back));
  EXPECT_EQ(longest, back);

  const std::string tooLong(YMPassword::kMaxTextLength + 1, 'x');
  YMPassword pwd;
  GuardedBuffer buf(4u << 20);
  unsigned capacity = buf.capacity();
  EXPECT_EQ(0, pwd.encrypt(tooLong.c_str(), buf.out(), &capacity));
  EXPECT_EQ('\0', buf.out()[0]);
  EXPECT_EQ(0, pwd.putEncPwd(tooLong.c_str()));
}

TEST_F(PasswordTest, NullArgumentsFail) {
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
}

// ---------------------------------------------------------------------------
// Keys

TEST_F(PasswordTest, TextEncryptedUnderOneKeyDoesNotDecryptUnderAnother) {
  setKey(kKeyA);
  const std::string underA = encryptText("secret");
  std::string back;

  setKey(kKeyB);
  EXPECT_FALSE(decryptText(underA, &back));
  clearKey();
  EXPECT_FALSE(decryptText(underA, &back));

  setKey(kKeyA);
  ASSERT_TRUE(decryptText(underA, &back));
  EXPECT_EQ("secret", back);
}

TEST_F(PasswordTest, BuiltInKeyIsUsedWhenNoneOrAnEmptyOneIsConfigured) {
  const std::string builtIn = encryptText("secret");
  setKey("");
  EXPECT_EQ(builtIn, encryptText("secret"));
  setKey(kKeyA);
  EXPECT_NE(builtIn, encryptText("secret"));
}

TEST_F(PasswordTest, NonHexKeyTextIsHashedIntoAKey) {
  // 64 characters but not all hexadecimal digits, and a short passphrase.
  const std::string notHex(64, 'g');
  setKey(notHex);
  const std::string underNotHex = encryptText("secret");
  setKey("short passphrase");
  const std::string underPhrase = encryptText("secret");
  EXPECT_NE(underNotHex, underPhrase);

  std::string back;
  EXPECT_FALSE(decryptText(underNotHex, &back));
  setKey(notHex);
  ASSERT_TRUE(decryptText(underNotHex, &back));
  EXPECT_EQ("secret", back);
}

TEST_F(PasswordTest, HexKeyAndTheSameCharactersMinusOneDigitAreDifferentKeys) {
  setKey(kKeyA);
  const std::string underHex = encryptText("secret");
  setKey(std::string(kKeyA).substr(0, 63));
  EXPECT_NE(underHex, encryptText("secret"));
}

// ---------------------------------------------------------------------------
// Altered and foreign input

TEST_F(PasswordTest, EveryChangedCharacterIsDetected) {
  const std::string encrypted = encryptText("secret");
  for (size_t i = 0; i < encrypted.size(); ++i) {
    std::string altered = encrypted;
    altered[i] = altered[i] == 'A' ? 'B' : 'A';
    std::string back;
    EXPECT_FALSE(decryptText(altered, &back)) << "position " << i;
  }
}

TEST_F(PasswordTest, EveryTruncationAndAnAppendedCharacterAreDetected) {
  const std::string encrypted = encryptText("secret");
  for (size_t len = 0; len < encrypted.size(); ++len) {
    std::string back;
    EXPECT_FALSE(decryptText(encrypted.substr(0, len), &back)) << "length " << len;
  }
  std::string back;
  EXPECT_FALSE(decryptText(encrypted + "A", &back));
  EXPECT_FALSE(decryptText(encrypted + "=", &back));
}

TEST_F(PasswordTest, TextsThatAreNotEncryptedFormsAreRefused) {
  std::string back;
  for (const char* text : {"", "secret", "ev1:", "ev1:!!!!", "ev2:AAAA", "EV1:AAAAAAAA"}) {
    EXPECT_FALSE(decryptText(text, &back)) << text;
  }
}

TEST_F(PasswordTest, AuthenticTextContainingNulIsRefused) {
  // Sealed by hand with the built-in key so the text is authentic: only the
  // embedded NUL can make decrypt refuse it.
  unsigned char master[32];
  const char builtIn[] = "evtask built-in password key, version 1";
  ASSERT_EQ(0, crypto_generichash(master, sizeof(master),
                                  reinterpret_cast<const unsigned char*>(builtIn),
                                  sizeof(builtIn) - 1, nullptr, 0));
  unsigned char cipherKey[32];
  ASSERT_EQ(0, crypto_kdf_derive_from_key(cipherKey, sizeof(cipherKey), 1, "evpasswd", master));

  const unsigned char text[] = {'a', '\0', 'b'};
  std::vector<unsigned char> payload(9 + 24 + sizeof(text) + 16, 0);
  for (size_t i = 0; i < 24; ++i) payload[9 + i] = static_cast<unsigned char>(i);
  unsigned char ad[13] = {'e', 'v', '1', ':'};  // form 0, kind 0
  unsigned long long sealedLen = 0;
  ASSERT_EQ(0, crypto_aead_xchacha20poly1305_ietf_encrypt(payload.data() + 33, &sealedLen, text,
                                                          sizeof(text), ad, sizeof(ad), nullptr,
                                                          payload.data() + 9, cipherKey));
  const std::string forged = rebuild("ev1:", payload);

  // The same construction without the NUL decrypts, which proves the forged
  // form is otherwise valid.
  const unsigned char plain[] = {'a', 'b'};
  std::vector<unsigned char> okPayload(9 + 24 + sizeof(plain) + 16, 0);
  std::copy(payload.begin() + 9, payload.begin() + 33, okPayload.begin() + 9);
  ASSERT_EQ(0, crypto_aead_xchacha20poly1305_ietf_encrypt(okPayload.data() + 33, &sealedLen,
                                                          plain, sizeof(plain), ad, sizeof(ad),
                                                          nullptr, okPayload.data() + 9,
                                                          cipherKey));
  std::string back;
  ASSERT_TRUE(decryptText(rebuild("ev1:", okPayload), &back));
  EXPECT_EQ("ab", back);

  EXPECT_FALSE(decryptText(forged, &back));
}

// ---------------------------------------------------------------------------
// Output capacity

TEST_F(PasswordTest, EncryptIntoTooSmallBufferFailsWithoutWritingPastIt) {
  const std::string expected = encryptText("secret");
  const unsigned needed = static_cast<unsigned>(expected.size() + 1);
  YMPassword pwd;
  for (unsigned cap : {1u, 2u, 10u, needed - 1}) {
    GuardedBuffer buf(cap);
    unsigned capacity = cap;
    EXPECT_EQ(0, pwd.encrypt("secret", buf.out(), &capacity)) << cap;
    EXPECT_EQ(needed, capacity) << cap;
    EXPECT_EQ('\0', buf.out()[0]) << cap;
    EXPECT_TRUE(buf.guardIntact()) << cap;
  }
  GuardedBuffer exact(needed);
  unsigned capacity = needed;
  ASSERT_NE(0, pwd.encrypt("secret", exact.out(), &capacity));
  EXPECT_EQ(expected, exact.out());
  EXPECT_EQ(needed, capacity);
  EXPECT_TRUE(exact.guardIntact());
}

TEST_F(PasswordTest, ZeroCapacityWritesNothingAtAll) {
  const std::string encrypted = encryptText("secret");
  YMPassword pwd;
  GuardedBuffer buf(0);
  unsigned capacity = 0;
  EXPECT_EQ(0, pwd.encrypt("secret", buf.out(), &capacity));
  EXPECT_EQ(encrypted.size() + 1, capacity);
  capacity = 0;
  EXPECT_EQ(0, pwd.decrypt(encrypted.c_str(), buf.out(), &capacity));
  EXPECT_EQ(7u, capacity);
  capacity = 0;
  EXPECT_EQ(0, pwd.decrypt("not encrypted", buf.out(), &capacity));
  EXPECT_EQ(0u, capacity);
  ASSERT_NE(0, pwd.putEncPwd("secret"));
  capacity = 0;
  EXPECT_EQ(0, pwd.getEncPwd(buf.out(), &capacity, 3));
  EXPECT_GT(capacity, 1u);
  EXPECT_TRUE(buf.untouched());
}

TEST_F(PasswordTest, DecryptIntoTooSmallBufferFailsWithoutWritingPastIt) {
  const std::string encrypted = encryptText("secret");
  YMPassword pwd;
  for (unsigned cap : {1u, 6u}) {
    GuardedBuffer buf(cap);
    unsigned capacity = cap;
    EXPECT_EQ(0, pwd.decrypt(encrypted.c_str(), buf.out(), &capacity)) << cap;
    EXPECT_EQ(7u, capacity);
    EXPECT_EQ('\0', buf.out()[0]);
    EXPECT_TRUE(buf.guardIntact()) << cap;
  }
  GuardedBuffer exact(7);
  unsigned capacity = 7;
  ASSERT_NE(0, pwd.decrypt(encrypted.c_str(), exact.out(), &capacity));
  EXPECT_STREQ("secret", exact.out());
  EXPECT_TRUE(exact.guardIntact());
}

TEST_F(PasswordTest, EmptyTextDecryptsIntoAOneByteBuffer) {
  const std::string encrypted = encryptText("");
  YMPassword pwd;
  GuardedBuffer buf(1);
  unsigned capacity = 1;
  ASSERT_NE(0, pwd.decrypt(encrypted.c_str(), buf.out(), &capacity));
  EXPECT_EQ('\0', buf.out()[0]);
  EXPECT_TRUE(buf.guardIntact());
}

TEST_F(PasswordTest, GetEncPwdIntoTooSmallBufferReportsTheSizeNeeded) {
  YMPassword pwd;
  ASSERT_NE(0, pwd.putEncPwd("secret"));
  GuardedBuffer small(8);
  unsigned capacity = 8;
  EXPECT_EQ(0, pwd.getEncPwd(small.out(), &capacity, 9));
  EXPECT_EQ('\0', small.out()[0]);
  EXPECT_TRUE(small.guardIntact());

  const unsigned needed = capacity;
  GuardedBuffer exact(needed);
  ASSERT_NE(0, pwd.getEncPwd(exact.out(), &capacity, 9));
  EXPECT_EQ(needed - 1, std::strlen(exact.out()));
  EXPECT_TRUE(exact.guardIntact());
}

// ---------------------------------------------------------------------------
// Stored passwords bound to a kind

std::string getEnc(YMPassword& pwd, unsigned long kind) {
  char out[512];
  unsigned capacity = sizeof(out);
  if (pwd.getEncPwd(out, &capacity, kind) == 0) return std::string("<failed>");
  return out;
}

TEST_F(PasswordTest, GetEncPwdReturnsTheStoredTextEncryptedForTheKind) {
  YMPassword pwd;
  ASSERT_NE(0, pwd.putEncPwd("p\xC3\xA4ss"));
  const std::string kind7 = getEnc(pwd, 7);
  ASSERT_EQ(0u, kind7.rfind("ev1:", 0));
  std::string back;
  ASSERT_TRUE(decryptText(kind7, &back));
  EXPECT_EQ("p\xC3\xA4ss", back);

  EXPECT_EQ(kind7, getEnc(pwd, 7));
  EXPECT_NE(kind7, getEnc(pwd, 8));
  EXPECT_NE(kind7, getEnc(pwd, 0));
  EXPECT_NE(kind7, encryptText("p\xC3\xA4ss"));
  ASSERT_TRUE(decryptText(getEnc(pwd, ULONG_MAX), &back));
  EXPECT_EQ("p\xC3\xA4ss", back);
}

TEST_F(PasswordTest, GetEncPwdWithoutAStoredTextFails) {
  YMPassword pwd;
  char out[64];
  std::memset(out, 'z', sizeof(out));
  unsigned capacity = sizeof(out);
  EXPECT_EQ(0, pwd.getEncPwd(out, &capacity, 1));
  EXPECT_EQ('\0', out[0]);
  EXPECT_EQ(sizeof(out), capacity);
}

TEST_F(PasswordTest, StoredTextsAreKeptPerObjectAndReplacedByTheNextPut) {
  YMPassword first;
  YMPassword second;
  ASSERT_NE(0, first.putEncPwd("one"));
  ASSERT_NE(0, second.putEncPwd("two"));
  ASSERT_NE(0, first.putEncPwd("three"));
  std::string back;
  ASSERT_TRUE(decryptText(getEnc(first, 1), &back));
  EXPECT_EQ("three", back);
  ASSERT_TRUE(decryptText(getEnc(second, 1), &back));
  EXPECT_EQ("two", back);

  ASSERT_NE(0, first.putEncPwd(""));
  ASSERT_TRUE(decryptText(getEnc(first, 1), &back));
  EXPECT_EQ("", back);
}

TEST_F(PasswordTest, FailedPutDropsThePreviouslyStoredText) {
  YMPassword pwd;
  ASSERT_NE(0, pwd.putEncPwd("old"));
  EXPECT_EQ(0, pwd.putEncPwd(nullptr));
  EXPECT_EQ("<failed>", getEnc(pwd, 1));
}

TEST_F(PasswordTest, KeyChangedBetweenPutAndGetFails) {
  setKey(kKeyA);
  YMPassword pwd;
  ASSERT_NE(0, pwd.putEncPwd("secret"));
  setKey(kKeyB);
  EXPECT_EQ("<failed>", getEnc(pwd, 1));
  setKey(kKeyA);
  std::string back;
  ASSERT_TRUE(decryptText(getEnc(pwd, 1), &back));
  EXPECT_EQ("secret", back);
}

TEST_F(PasswordTest, KindCannotBeRelabelled) {
  YMPassword pwd;
  ASSERT_NE(0, pwd.putEncPwd("secret"));
  const std::string kind5 = getEnc(pwd, 5);
  std::vector<unsigned char> payload;
  const std::string prefix = base64Payload(kind5, &payload);
  ASSERT_GE(payload.size(), 9u);
  ASSERT_EQ(1, payload[0]);
  ASSERT_EQ(5, payload[1]);

  // The untouched payload, re-encoded, still decrypts: the checks below fail
  // only because of the relabelling.
  std::string back;
  ASSERT_TRUE(decryptText(rebuild(prefix, payload), &back));

  std::vector<unsigned char> relabelled = payload;
  relabelled[1] = 6;
  EXPECT_FALSE(decryptText(rebuild(prefix, relabelled), &back));

  // Passing a stored form off as a plain encrypt() form.
  relabelled = payload;
  relabelled[0] = 0;
  relabelled[1] = 0;
  EXPECT_FALSE(decryptText(rebuild(prefix, relabelled), &back));

  // An unknown form byte.
  relabelled = payload;
  relabelled[0] = 2;
  EXPECT_FALSE(decryptText(rebuild(prefix, relabelled), &back));
}

}  // namespace

// Encrypted password form
// -----------------------
//
//   encrypted := "ev1:" base64url-nopad(payload)
//   payload   := form[1] kind[8, little-endian] nonce[24] sealed[n + 16]
//   form      := 0x00   from encrypt(); kind is then 0
//              | 0x01   from getEncPwd(kind)
//   nonce     := BLAKE2b-192, keyed with the nonce subkey,
//                over "ev1:" || form || kind || text
//   sealed    := XChaCha20-Poly1305-IETF(text) under the cipher subkey,
//                associated data "ev1:" || form || kind
//
// The two subkeys are derived from the 32-byte master key (see the header for
// where it comes from) with the BLAKE2b key derivation, context "evpasswd",
// subkey ids 1 (cipher) and 2 (nonce), so the nonce hash and the cipher never
// share a key.
//
// A synthetic nonce makes the encryption deterministic without ever reusing
// a nonce for two different texts: XChaCha20's 192-bit nonce leaves no
// practical chance of a collision between distinct inputs.
#include "platform/YMPassword.h"

#ifndef EVTASK_HAVE_SODIUM
#error "YMPassword needs libsodium (the i386 package installed by scripts/bootstrap.sh)"
#endif

#include <sodium.h>

#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/Coding.h"
#include "platform/YMPlatformInfo.h"

namespace {

constexpr char kPrefix[] = "ev1:";
constexpr size_t kPrefixLen = sizeof(kPrefix) - 1;
constexpr uint8_t kFormPlain = 0;
constexpr uint8_t kFormStored = 1;
constexpr size_t kHeaderLen = 1 + 8;
constexpr size_t kAdLen = kPrefixLen + kHeaderLen;
constexpr size_t kKeyLen = 32;
constexpr size_t kNonceLen = crypto_aead_xchacha20poly1305_ietf_NPUBBYTES;
constexpr size_t kTagLen = crypto_aead_xchacha20poly1305_ietf_ABYTES;
constexpr size_t kOverhead = kHeaderLen + kNonceLen + kTagLen;
constexpr int kBase64Variant = sodium_base64_VARIANT_URLSAFE_NO_PADDING;
constexpr char kKdfContext[crypto_kdf_CONTEXTBYTES + 1] = "evpasswd";
constexpr char kBuiltInKeyText[] = "evtask built-in password key, version 1";

static_assert(kNonceLen == 24, "XChaCha20 nonce size");
static_assert(kKeyLen == crypto_aead_xchacha20poly1305_ietf_KEYBYTES, "cipher key size");
static_assert(kKeyLen == crypto_kdf_KEYBYTES, "master key size");

// The longest encrypted form that decrypt() will look at: the form of a text
// of kMaxTextLength bytes. Anything longer cannot be ours.
constexpr size_t kMaxEncodedLength =
    kPrefixLen + sodium_base64_ENCODED_LEN(YMPassword::kMaxTextLength + kOverhead, kBase64Variant);

// Byte buffer for plain texts and keys: wiped before its memory is released.
class SecretBytes {
 public:
  explicit SecretBytes(size_t size) : m_bytes(size) {}
  ~SecretBytes() {
    if (!m_bytes.empty()) sodium_memzero(m_bytes.data(), m_bytes.size());
  }
  unsigned char* data() { return m_bytes.data(); }
  size_t size() const { return m_bytes.size(); }
  SecretBytes(const SecretBytes&) = delete;
  SecretBytes& operator=(const SecretBytes&) = delete;

 private:
  std::vector<unsigned char> m_bytes;
};

struct Keys {
  unsigned char cipher[kKeyLen];
  unsigned char nonce[kKeyLen];
  Keys() = default;
  ~Keys() { sodium_memzero(this, sizeof(*this)); }
  Keys(const Keys&) = delete;
  Keys& operator=(const Keys&) = delete;
};

bool sodiumReady() {
  // sodium_init() is thread-safe and idempotent; the static keeps its cost to
  // the first call.
  static const int rc = sodium_init();
  return rc >= 0;
}

// Reads the master key from the configuration store and derives the subkeys.
bool loadKeys(Keys* keys) {
  SecretBytes master(kKeyLen);
  std::string value;
  YMPlatformInfo info;
  const bool configured = info.getString("Platform", "PasswordKey", &value) != 0 && !value.empty();
  bool ok = true;
  size_t binLen = 0;
  const char* hexEnd = nullptr;
  if (configured && value.size() == 2 * kKeyLen &&
      sodium_hex2bin(master.data(), master.size(), value.data(), value.size(), nullptr, &binLen,
                     &hexEnd) == 0 &&
      binLen == kKeyLen && hexEnd == value.data() + value.size()) {
    // A hexadecimal key is used as it is.
  } else if (configured) {
    ok = crypto_generichash(master.data(), master.size(),
                            reinterpret_cast<const unsigned char*>(value.data()), value.size(),
                            nullptr, 0) == 0;
  } else {
    ok = crypto_generichash(master.data(), master.size(),
                            reinterpret_cast<const unsigned char*>(kBuiltInKeyText),
                            sizeof(kBuiltInKeyText) - 1, nullptr, 0) == 0;
  }
  if (!value.empty()) sodium_memzero(&value[0], value.size());
  if (!ok) return false;
  return crypto_kdf_derive_from_key(keys->cipher, kKeyLen, 1, kKdfContext, master.data()) == 0 &&
         crypto_kdf_derive_from_key(keys->nonce, kKeyLen, 2, kKdfContext, master.data()) == 0;
}

void makeAssociatedData(uint8_t form, uint64_t kind, unsigned char* ad) {
  std::memcpy(ad, kPrefix, kPrefixLen);
  ad[kPrefixLen] = form;
  evtask::EncodeFixed64(ad + kPrefixLen + 1, kind);
}

// Encrypts `len` bytes of `text` into the printable form in `encoded`.
bool sealText(const Keys& keys, uint8_t form, uint64_t kind, const unsigned char* text, size_t len,
          std::string* encoded) {
  unsigned char ad[kAdLen];
  makeAssociatedData(form, kind, ad);

  std::vector<unsigned char> payload(kOverhead + len);
  std::memcpy(payload.data(), ad + kPrefixLen, kHeaderLen);
  unsigned char* nonce = payload.data() + kHeaderLen;
  unsigned char* sealed = nonce + kNonceLen;

  crypto_generichash_state state;
  if (crypto_generichash_init(&state, keys.nonce, kKeyLen, kNonceLen) != 0 ||
      crypto_generichash_update(&state, ad, kAdLen) != 0 ||
      crypto_generichash_update(&state, text, len) != 0 ||
      crypto_generichash_final(&state, nonce, kNonceLen) != 0) {
    return false;
  }
  unsigned long long sealedLen = 0;
  if (crypto_aead_xchacha20poly1305_ietf_encrypt(sealed, &sealedLen, text, len, ad, kAdLen,
                                                 nullptr, nonce, keys.cipher) != 0 ||
      sealedLen != len + kTagLen) {
    return false;
  }

  const size_t b64Size = sodium_base64_ENCODED_LEN(payload.size(), kBase64Variant);
  std::vector<char> b64(b64Size);
  sodium_bin2base64(b64.data(), b64.size(), payload.data(), payload.size(), kBase64Variant);
  encoded->assign(kPrefix, kPrefixLen);
  encoded->append(b64.data());
  return true;
}

// Decrypts an encrypted form. On success `plain` holds the text (no
// terminator) and `form`/`kind` the authenticated header.
bool openText(const Keys& keys, const char* in, std::unique_ptr<SecretBytes>* plain, uint8_t* form,
          uint64_t* kind) {
  const size_t inLen = strnlen(in, kMaxEncodedLength + 1);
  if (inLen > kMaxEncodedLength || inLen < kPrefixLen ||
      std::memcmp(in, kPrefix, kPrefixLen) != 0) {
    return false;
  }
  const char* b64 = in + kPrefixLen;
  const size_t b64Len = inLen - kPrefixLen;
  std::vector<unsigned char> payload(b64Len / 4 * 3 + 3);
  size_t payloadLen = 0;
  const char* b64End = nullptr;
  if (sodium_base642bin(payload.data(), payload.size(), b64, b64Len, nullptr, &payloadLen,
                        &b64End, kBase64Variant) != 0 ||
      b64End != b64 + b64Len || payloadLen < kOverhead) {
    return false;
  }

  *form = payload[0];
  *kind = evtask::DecodeFixed64(payload.data() + 1);
  if (*form != kFormPlain && *form != kFormStored) return false;
  if (*form == kFormPlain && *kind != 0) return false;

  unsigned char ad[kAdLen];
  makeAssociatedData(*form, *kind, ad);
  const unsigned char* nonce = payload.data() + kHeaderLen;
  const unsigned char* sealed = nonce + kNonceLen;
  const size_t sealedLen = payloadLen - kHeaderLen - kNonceLen;

  // One spare byte keeps data() valid for an empty text.
  auto text = std::make_unique<SecretBytes>(sealedLen - kTagLen + 1);
  unsigned long long textLen = 0;
  if (crypto_aead_xchacha20poly1305_ietf_decrypt(text->data(), &textLen, nullptr, sealed,
                                                 sealedLen, ad, kAdLen, nonce,
                                                 keys.cipher) != 0 ||
      textLen != sealedLen - kTagLen) {
    return false;
  }
  // A NUL inside would silently cut the text short for a C-string caller.
  if (std::memchr(text->data(), '\0', textLen) != nullptr) return false;
  text->data()[textLen] = '\0';
  *plain = std::move(text);
  return true;
}

int fail(char* out, const unsigned* capacity) {
  if (out != nullptr && capacity != nullptr && *capacity >= 1) out[0] = '\0';
  return 0;
}

// Copies `len` bytes and a terminator to `out` when they fit in *capacity.
int emit(const void* text, size_t len, char* out, unsigned* capacity) {
  const size_t needed = len + 1;
  if (needed > *capacity) {
    fail(out, capacity);
    *capacity = needed > UINT_MAX ? UINT_MAX : static_cast<unsigned>(needed);
    return 0;
  }
  std::memcpy(out, text, len);
  out[len] = '\0';
  return 1;
}

bool plainLength(const char* in, size_t* len) {
  *len = strnlen(in, YMPassword::kMaxTextLength + 1);
  return *len <= YMPassword::kMaxTextLength;
}

}  // namespace

YMPassword::YMPassword() = default;

YMPassword::~YMPassword() = default;

int YMPassword::encrypt(const char* in, char* out, unsigned* capacity) {
  if (in == nullptr || out == nullptr || capacity == nullptr) return fail(out, capacity);
  size_t len = 0;
  if (!plainLength(in, &len) || !sodiumReady()) return fail(out, capacity);
  Keys keys;
  std::string encoded;
  if (!loadKeys(&keys) ||
      !sealText(keys, kFormPlain, 0, reinterpret_cast<const unsigned char*>(in), len, &encoded)) {
    return fail(out, capacity);
  }
  return emit(encoded.data(), encoded.size(), out, capacity);
}

int YMPassword::decrypt(const char* in, char* out, unsigned* capacity) {
  if (in == nullptr || out == nullptr || capacity == nullptr) return fail(out, capacity);
  if (!sodiumReady()) return fail(out, capacity);
  Keys keys;
  std::unique_ptr<SecretBytes> text;
  uint8_t form = 0;
  uint64_t kind = 0;
  if (!loadKeys(&keys) || !openText(keys, in, &text, &form, &kind)) return fail(out, capacity);
  return emit(text->data(), text->size() - 1, out, capacity);
}

int YMPassword::putEncPwd(const char* in) {
  m_encPwd.clear();
  size_t len = 0;
  if (in == nullptr || !plainLength(in, &len) || !sodiumReady()) return 0;
  Keys keys;
  std::string encoded;
  if (!loadKeys(&keys) ||
      !sealText(keys, kFormPlain, 0, reinterpret_cast<const unsigned char*>(in), len, &encoded)) {
    return 0;
  }
  m_encPwd = std::move(encoded);
  return 1;
}

int YMPassword::getEncPwd(char* out, unsigned* capacity, unsigned long kind) {
  if (out == nullptr || capacity == nullptr || m_encPwd.empty() || !sodiumReady()) {
    return fail(out, capacity);
  }
  Keys keys;
  std::unique_ptr<SecretBytes> text;
  uint8_t form = 0;
  uint64_t storedKind = 0;
  std::string encoded;
  if (!loadKeys(&keys) || !openText(keys, m_encPwd.c_str(), &text, &form, &storedKind) ||
      form != kFormPlain ||
      !sealText(keys, kFormStored, static_cast<uint64_t>(kind), text->data(), text->size() - 1,
            &encoded)) {
    return fail(out, capacity);
  }
  return emit(encoded.data(), encoded.size(), out, capacity);
}

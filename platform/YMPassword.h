// Password protection for evtask: authenticated encryption of short texts
// (passwords, secrets) into a printable form that can be stored in task
// options and sent to the application manager.
//
// Encrypted form: "ev1:" followed by unpadded URL-safe base64 of a small
// header, the nonce and the XChaCha20-Poly1305 ciphertext (the exact grammar
// is at the top of YMPassword.cpp). Only printable ASCII is produced, so the
// form survives XML, INI files and the wire unchanged.
//
// Encryption is deterministic: the nonce is a keyed hash of the header and the
// text, so the same text under the same key and kind always gives the same
// encrypted form (callers compare encrypted passwords), while any change to
// the text gives an unrelated nonce. The header and the text are
// authenticated: a changed character, a different key or a swapped kind makes
// decryption fail instead of returning a wrong text.
//
// Key: read from the platform configuration store at every call, section
// "Platform", key "PasswordKey". A value of exactly 64 hexadecimal digits is
// used as the 32-byte key; any other non-empty value is hashed (BLAKE2b,
// 32 bytes) into the key. When the key is missing or empty, a built-in key is
// used: the 32-byte BLAKE2b hash of the text
// "evtask built-in password key, version 1". That key ships inside every copy
// of the library, so it only keeps texts from being readable at a glance; a
// deployment that needs secrecy sets "PasswordKey". Texts encrypted under one
// key decrypt only under the same key.
//
// Buffers: every call that writes text takes `out` and `*capacity`, the
// number of bytes `out` can hold including the terminator. Nothing is ever
// written at or beyond out[*capacity]. On success the result text and its
// terminator are in `out` and *capacity is unchanged. On failure the result
// is 0 and, when *capacity is at least 1, out[0] is set to the terminator so
// that a caller that ignores the result sees an empty text rather than stale
// bytes; when the result does not fit, *capacity is set to the size needed
// (text plus terminator) so the caller can retry with a larger buffer.
//
// Limits: texts longer than kMaxTextLength bytes are refused (result 0).
//
// Thread safety: distinct objects may be used from different threads at the
// same time; one object must not be used by two threads at once.
#ifndef EVTASK_PLATFORM_YMPASSWORD_H
#define EVTASK_PLATFORM_YMPASSWORD_H

#include <string>

#include "evtask/export.h"

class EVTASK_EXPORT YMPassword {
 public:
  // Longest plain text accepted, in bytes.
  static constexpr unsigned kMaxTextLength = 1u << 20;

  YMPassword();
  ~YMPassword();

  // Encrypts the NUL-terminated text `in` (any bytes but NUL, so UTF-8 is
  // fine; the empty text is allowed) into its printable encrypted form.
  // Returns non-zero on success. Fails for null arguments, a text over the
  // limit, an output that does not fit, or when the crypto library cannot be
  // initialised.
  int encrypt(const char* in, char* out, unsigned* capacity);

  // Decrypts an encrypted form produced by encrypt() or getEncPwd() under the
  // same key back into the plain text. Returns non-zero on success. Fails for
  // null arguments, a text that is not an encrypted form, one that was
  // altered or made under another key, or an output that does not fit.
  int decrypt(const char* in, char* out, unsigned* capacity);

  // Stores the plain text `in` in this object, held encrypted, for later
  // getEncPwd() calls; replaces anything stored before. Returns non-zero on
  // success, 0 for a null or over-long text (the earlier value, if any, is
  // then dropped as well, so a failed put never leaves a stale password).
  int putEncPwd(const char* in);

  // Writes the encrypted form of the text stored by putEncPwd(), bound to
  // `kind`: the kind is authenticated with the text, so forms for different
  // kinds differ and one cannot be relabelled as another. decrypt() accepts
  // every kind. Returns non-zero on success; 0 when nothing was stored, when
  // the key in the store changed since putEncPwd(), or under the buffer rules
  // above.
  int getEncPwd(char* out, unsigned* capacity, unsigned long kind);

 private:
  // The stored text in its encrypted form; empty when nothing is stored.
  std::string m_encPwd;
};

#endif  // EVTASK_PLATFORM_YMPASSWORD_H

#include "util/BasicConversion.h"

#include <cstdio>

namespace {

// Large enough for every value printed below: the longest is the "%f" form
// of the largest double (a sign, 309 integer digits, a point and 6 decimals).
constexpr int kTextBufferSize = 512;

// The first character of the text, or 0 for an empty text.
template <typename Char>
int firstCharacter(Char& value, const std::string& s) {
  if (s.empty()) {
    value = 0;
    return 0;
  }
  value = static_cast<Char>(s[0]);
  return 1;
}

}  // namespace

int BasicConversion::fromString(bool& value, const std::string& s) {
  value = !s.empty() && s[0] != '0' && s != "false";
  return s.empty() ? 0 : 1;
}

int BasicConversion::fromString(char& value, const std::string& s) {
  return firstCharacter(value, s);
}

int BasicConversion::fromString(unsigned char& value, const std::string& s) {
  return firstCharacter(value, s);
}

int BasicConversion::fromString(short& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%hd", &value);
}

int BasicConversion::fromString(unsigned short& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%hu", &value);
}

int BasicConversion::fromString(int& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%d", &value);
}

int BasicConversion::fromString(unsigned int& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%u", &value);
}

int BasicConversion::fromString(long& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%ld", &value);
}

int BasicConversion::fromString(unsigned long& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%lu", &value);
}

int BasicConversion::fromString(long long& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%lld", &value);
}

int BasicConversion::fromString(unsigned long long& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%llu", &value);
}

int BasicConversion::fromString(float& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%f", &value);
}

int BasicConversion::fromString(double& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%lf", &value);
}

void BasicConversion::toString(bool value, std::string& s) { s = value ? "1" : "0"; }

void BasicConversion::toString(char value, std::string& s) { s.assign(1, value); }

void BasicConversion::toString(unsigned char value, std::string& s) {
  s.assign(1, static_cast<char>(value));
}

void BasicConversion::toString(short value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%hd", value);
  s = buf;
}

void BasicConversion::toString(unsigned short value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%hu", value);
  s = buf;
}

void BasicConversion::toString(int value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%d", value);
  s = buf;
}

void BasicConversion::toString(unsigned int value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%u", value);
  s = buf;
}

void BasicConversion::toString(long value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%ld", value);
  s = buf;
}

void BasicConversion::toString(unsigned long value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%lu", value);
  s = buf;
}

void BasicConversion::toString(long long value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%lld", value);
  s = buf;
}

void BasicConversion::toString(unsigned long long value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%llu", value);
  s = buf;
}

void BasicConversion::toString(float value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%f", static_cast<double>(value));
  s = buf;
}

void BasicConversion::toString(double value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "%f", value);
  s = buf;
}

int BasicConversion::fromHexString(unsigned short& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%hx", &value);
}

int BasicConversion::fromHexString(unsigned int& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%x", &value);
}

int BasicConversion::fromHexString(unsigned long& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%lx", &value);
}

int BasicConversion::fromHexString(long long& value, const std::string& s) {
  // Scanned through the unsigned form so that the target keeps its value
  // when nothing is read.
  unsigned long long bits = static_cast<unsigned long long>(value);
  int rc = std::sscanf(s.c_str(), "%llx", &bits);
  if (rc == 1) value = static_cast<long long>(bits);
  return rc;
}

int BasicConversion::fromHexString(unsigned long long& value, const std::string& s) {
  return std::sscanf(s.c_str(), "%llx", &value);
}

void BasicConversion::toHexString(unsigned short value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "0x%hx", value);
  s = buf;
}

void BasicConversion::toHexString(unsigned int value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "0x%x", value);
  s = buf;
}

void BasicConversion::toHexString(unsigned long value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "0x%lx", value);
  s = buf;
}

void BasicConversion::toHexString(long long value, std::string& s) {
  toHexString(static_cast<unsigned long long>(value), s);
}

void BasicConversion::toHexString(unsigned long long value, std::string& s) {
  char buf[kTextBufferSize];
  std::snprintf(buf, sizeof buf, "0x%llx", value);
  s = buf;
}

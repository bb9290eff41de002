// The platform configuration store and the platform-information objects
// built on it.
//
// The store is process-wide. On first use it is loaded from the INI file
// named by the environment variable EVTASK_CONFIG (when set and not empty);
// host programs and tests may also set and remove values from code. INI form:
//
//   ; comment            # comment
//   [Section]
//   key = value
//
// Section and key names are case-sensitive; surrounding blanks are trimmed.
// Keys the platform itself reads live in section "Platform":
//   AppMgrEndpoint  "embedded" (default), "unix:PATH" or "tcp:HOST:PORT"
//   LogFile         path of the log file; no logging when missing
//   LogLevel        detail level of DebugLvl lines (default 1)
//   PlatformType    the platform type reported by YMPI_Base (default 4)
//   Focus           the focus name reported by YMPI_Focus (default "Instance001")
//   CloudLaptopClient  non-zero on a cloud laptop client (default 0)
//   ConnectTimeoutMs   socket connection and I/O timeout (default 30000)
//
// Thread safety: every operation may be called from any thread.
#ifndef EVTASK_PLATFORM_YMPLATFORMINFO_H
#define EVTASK_PLATFORM_YMPLATFORMINFO_H

#include <set>
#include <string>

#include "evtask/export.h"

class EVTASK_EXPORT YMPlatformInfo {
 public:
  YMPlatformInfo();
  virtual ~YMPlatformInfo();

  // Remembers the focus (instance) the object reads for. The store holds one
  // configuration per process, so the focus only labels the object.
  void setFocus(const std::string& focus);
  const std::string& getFocusName() const { return m_focus; }

  // Returns non-zero when the key exists and only then writes its value,
  // read as an unsigned decimal (or 0x-prefixed hex) number; a value that is
  // not a number counts as missing.
  int getNumber(const char* section, const char* key, unsigned long* value);
  int getNumber(const char* section, const char* key, unsigned int* value);

  // Returns non-zero when the key exists and then copies its text.
  int getString(const std::string& section, const std::string& key, std::string* value);
  // Buffer form: on entry *size is the capacity of `buffer`. Returns non-zero
  // when the key exists and its text plus the terminator fits; then the text
  // is copied and *size becomes its length. When it does not fit, returns 0,
  // sets *size to the capacity needed and leaves `buffer` untouched.
  int getString(const std::string& section, const std::string& key, char* buffer, int* size);

  // Non-zero on a cloud laptop client ("CloudLaptopClient" in "Platform").
  int IsCloudLaptopClient();

  // Splits `length` bytes of NUL-separated texts into `out`; an empty text
  // (two NULs in a row) ends the list.
  static void FromMultiSZStringToSet(const char* text, int length, std::set<std::string>& out);

  // Store management for host programs and tests.
  static void setValue(const std::string& section, const std::string& key, const std::string& value);
  static void removeValue(const std::string& section, const std::string& key);
  // Empties the store; it is not reloaded from EVTASK_CONFIG afterwards.
  static void clearStore();
  // Replaces the store with the contents of an INI file. Returns 0, or -1
  // with a text in `err` when the file cannot be read or has a bad line.
  static int loadFile(const std::string& path, std::string& err);

  // True, with a text naming the file, the line and the fault, when the
  // EVTASK_CONFIG file could not be read or has a bad line. Its good lines
  // are still in the store, but sessions to the application manager refuse
  // to open (never falling back to another endpoint) until the store is
  // replaced from code with clearStore or a successful loadFile.
  // `firstReport`, when given, is set to true for the first caller that
  // asks with it and false for every later one (so that one of them logs).
  static bool configError(std::string& text, bool* firstReport = nullptr);
  // Test hook: forgets the store, so that the next use loads EVTASK_CONFIG
  // again.
  static void reloadFromEnvironmentForTesting();

 private:
  std::string m_focus;
};

// The platform-information object: reports what platform the process runs on.
class EVTASK_EXPORT YMPI_Base {
 public:
  YMPI_Base();
  virtual ~YMPI_Base();
  // The platform type ("PlatformType" in "Platform", default 4).
  unsigned long getPlatformType();
  const std::string& getFocusName() const { return m_focus; }

 private:
  friend class YMPI_EventManager;
  std::string m_focus;
};

class EVTASK_EXPORT YMPI_Focus {
 public:
  // The current focus name ("Focus" in "Platform", default "Instance001").
  static std::string getFocus();
};

class EVTASK_EXPORT YMPI_EventManager {
 public:
  static void setFocus(YMPI_Base& info, const std::string& focus);
};

#endif  // EVTASK_PLATFORM_YMPLATFORMINFO_H

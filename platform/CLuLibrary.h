// Loader of a dynamic library (shared object) for evtask.
//
// A CLuLibrary holds at most one loaded library. Symbols obtained from it
// stay valid until the library is freed (Free(), a successful Load() of
// another library, or destruction with autoFree).
//
// Thread safety: one object must not be used by two threads at once;
// distinct objects are independent.
#ifndef EVTASK_PLATFORM_CLULIBRARY_H
#define EVTASK_PLATFORM_CLULIBRARY_H

#include <string>

#include "evtask/export.h"

class EVTASK_EXPORT CLuLibrary {
 public:
  // Result codes of Load() and Free().
  static constexpr int kOk = 0;
  static constexpr int kInvalidArgument = -1;  // null or empty path
  static constexpr int kLoadFailed = -2;       // the system loader refused
  static constexpr int kFreeFailed = -3;       // the system loader refused to unload

  // With autoFree true the destructor frees the loaded library; with false
  // the library stays loaded for the rest of the process, for symbols that
  // must outlive the object.
  explicit CLuLibrary(bool autoFree);
  ~CLuLibrary();

  // Loads the library at `path` (a file path, or a name the system loader
  // searches for such as "libm.so.6") with all symbols resolved now. Returns
  // kOk on success. A library loaded before is freed only after the new one
  // loaded, so a failed Load() leaves the object as it was. On failure
  // lastError() holds the reason.
  int Load(const char* path);

  // The address of symbol `name` in the loaded library, or null (with
  // lastError() set) when nothing is loaded or the symbol is missing.
  void* GetProcAddress(const char* name);

  // Unloads the library. Returns kOk, also when nothing was loaded;
  // kFreeFailed with lastError() set when the system refuses (the object
  // then no longer holds the library either).
  int Free();

  bool isLoaded() const { return m_handle != nullptr; }

  // The reason of the last failure; empty after a success.
  const std::string& lastError() const { return m_lastError; }

  CLuLibrary(const CLuLibrary&) = delete;
  CLuLibrary& operator=(const CLuLibrary&) = delete;

 private:
  void* m_handle = nullptr;
  bool m_autoFree;
  std::string m_lastError;
};

#endif  // EVTASK_PLATFORM_CLULIBRARY_H

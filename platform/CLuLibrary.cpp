#include "platform/CLuLibrary.h"

#include <dlfcn.h>

namespace {

// dlerror() keeps its text per thread and clears it when read; take it once.
std::string takeDlError(const char* fallback) {
  const char* text = dlerror();
  return text != nullptr ? std::string(text) : std::string(fallback);
}

}  // namespace

CLuLibrary::CLuLibrary(bool autoFree) : m_autoFree(autoFree) {}

CLuLibrary::~CLuLibrary() {
  if (m_autoFree) Free();
}

int CLuLibrary::Load(const char* path) {
  if (path == nullptr || *path == '\0') {
    m_lastError = "no library path given";
    return kInvalidArgument;
  }
  dlerror();
  void* handle = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    m_lastError = takeDlError("the library could not be loaded");
    return kLoadFailed;
  }
  if (m_handle != nullptr) {
    // Released only now that its replacement loaded. When both are the same
    // library, dlopen counted a second reference; dropping the old one keeps
    // a single Free() enough to unload it.
    dlclose(m_handle);
  }
  m_handle = handle;
  m_lastError.clear();
  return kOk;
}

void* CLuLibrary::GetProcAddress(const char* name) {
  if (m_handle == nullptr) {
    m_lastError = "no library loaded";
    return nullptr;
  }
  if (name == nullptr || *name == '\0') {
    m_lastError = "no symbol name given";
    return nullptr;
  }
  dlerror();
  void* symbol = dlsym(m_handle, name);
  // A symbol may legitimately have the address null; only dlerror() tells.
  const char* text = dlerror();
  if (text != nullptr) {
    m_lastError = text;
    return nullptr;
  }
  if (symbol == nullptr) {
    m_lastError = std::string("symbol has a null address: ") + name;
    return nullptr;
  }
  m_lastError.clear();
  return symbol;
}

int CLuLibrary::Free() {
  if (m_handle == nullptr) {
    m_lastError.clear();
    return kOk;
  }
  void* handle = m_handle;
  // Whatever dlclose says, the handle must not be closed a second time.
  m_handle = nullptr;
  dlerror();
  if (dlclose(handle) != 0) {
    m_lastError = takeDlError("the library could not be unloaded");
    return kFreeFailed;
  }
  m_lastError.clear();
  return kOk;
}

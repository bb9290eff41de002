#include "platform/YmCriticalSection.h"

#include <atomic>
#include <new>

namespace {
std::atomic<bool> g_failCreate{false};
}

YmCriticalSectionH* YmCriticalSectionH::create() {
  if (g_failCreate.load()) return nullptr;
  YmCriticalSectionH* h = new (std::nothrow) YmCriticalSectionH();
  if (h == nullptr) return nullptr;
  pthread_mutexattr_t attr;
  if (pthread_mutexattr_init(&attr) != 0) {
    delete h;
    return nullptr;
  }
  pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
  const int rc = pthread_mutex_init(&h->m_mutex, &attr);
  pthread_mutexattr_destroy(&attr);
  if (rc != 0) {
    delete h;  // m_initialized is false: the destructor leaves the mutex alone
    return nullptr;
  }
  h->m_initialized = true;
  return h;
}

YmCriticalSectionH::~YmCriticalSectionH() {
  if (m_initialized) pthread_mutex_destroy(&m_mutex);
}

bool YmCriticalSectionH::enter(bool wait) {
  if (wait) return pthread_mutex_lock(&m_mutex) == 0;
  return pthread_mutex_trylock(&m_mutex) == 0;
}

void YmCriticalSectionH::leave() { pthread_mutex_unlock(&m_mutex); }

void YmCriticalSectionH::failCreateForTesting(bool fail) { g_failCreate.store(fail); }

YmCriticalSection::YmCriticalSection() : m_handle(YmCriticalSectionH::create()) {
  if (m_handle == nullptr) throw "Not enough memory to initialize YmCriticalSection";
}

YmCriticalSection::~YmCriticalSection() { delete m_handle; }

void YmCriticalSection::enter(bool wait) { m_handle->enter(wait); }

bool YmCriticalSection::tryEnter() { return m_handle->enter(false); }

void YmCriticalSection::leave() { m_handle->leave(); }

YmCriticalSectionLock::YmCriticalSectionLock(YmCriticalSection* cs) : m_cs(cs) {
  if (m_cs != nullptr) m_cs->enter(true);
}

YmCriticalSectionLock::~YmCriticalSectionLock() noexcept {
  if (m_cs == nullptr) return;
  try {
    m_cs->leave();
  } catch (...) {
    // Leaving must never propagate out of a destructor.
  }
}

// Helpers between the task library and the platform: a password wrapper with
// a fixed output buffer, predicates that classify application types by id, the
// name of the network layer and the default number of backup streams of a new
// subclient.
//
// Thread safety: the free functions keep no state and may be called from any
// thread. A PasswordWrapper object must not be used by two threads at once;
// distinct objects are independent.
#ifndef EVTASK_UTIL_PLATFORMHELPERS_H
#define EVTASK_UTIL_PLATFORMHELPERS_H

#include <string>

#include "evtask/export.h"

// Runs the platform password service over one input text and a fixed output
// buffer. Every operation uses a fresh YMPassword, so operations do not
// depend on each other.
//
// Results: a pointer into the object's output buffer on success, null on
// failure. The pointer stays valid, and its text unchanged, until the next
// operation on the same object or its destruction; callers copy what they
// keep. The buffer always holds a terminated text of at most
// kOutputSize - 1 characters. Nothing is logged.
class EVTASK_EXPORT PasswordWrapper {
 public:
  // Size of the output buffer, terminator included.
  static constexpr unsigned kOutputSize = 2049;

  explicit PasswordWrapper(const std::string& text);
  // A null text is taken as the empty text.
  explicit PasswordWrapper(const char* text);

  // Replaces the input text. The output buffer keeps its contents; earlier
  // results are not cleared.
  void init(const std::string& text);

  // The printable encrypted form of the input text; null when the platform
  // refuses it or the form does not fit into the buffer.
  const char* encrypt();
  // The same call and the same result as encrypt().
  const char* strongEncrypt();
  // The plain text of the encrypted form held as input; at most
  // kOutputSize - 2 characters are accepted. Null when the input is not a
  // valid encrypted form under the current key or the text does not fit.
  const char* decrypt();
  // The encrypted form of the input text bound to `kind` (the platform's
  // password kind, passed through unchanged). Null when the platform refuses
  // to store the text (the form is then not requested at all) or when
  // producing the form fails.
  const char* getEncPassword(unsigned long kind);

 private:
  std::string m_text;
  char m_output[kOutputSize];
};

// True exactly for the application types of Unix-like file systems.
EVTASK_EXPORT bool IsUnixTypeFS(unsigned long appTypeId);

// The agent category of an application type: 1, 2, 3 or 4 for the types
// that have one, 0 for every other type.
EVTASK_EXPORT unsigned long GetSCPNodeAgentType(unsigned long appTypeId);

// True exactly for the application types whose backup set names are
// case-sensitive.
EVTASK_EXPORT bool IsBackupSetCaseSensitive(unsigned long appTypeId);

// Writes "AppMgrNet", the network layer's process name, and its terminator
// (ten bytes) into `buffer` and returns `buffer`. REQUIRES: `buffer` holds at
// least ten bytes. A null buffer is left alone and null is returned.
EVTASK_EXPORT char* GetProcessNameAndID(char* buffer);

// The default number of backup streams of a new subclient of the given
// application type, client and instance, or -1 when the type has no default:
//
//   file-system agents (1, 11, 17-21, 29, 33, 34, 36, 38, 42, 43, 63, 74):
//     client id below 1, or type 38               -> 4
//     release 1..10                               -> 4
//     release 11 with service pack above 21       -> 0
//     NAS client                                  -> 0
//     non-NDMP client, or release above 11        -> 0
//     otherwise                                   -> 4
//   64   instance id below 1 -> 4; cluster type 1 or 15 -> 4; else 0
//   106  5
//   12   2
//   134  instance id at least 1 and cloud apps instance type 33 or 34 -> 0;
//        else -1
//   any other type -> -1
//
// "release" is the number in the first two characters of the client's
// version text ("11.0.0 SP22" is release 11, service pack 22; "9.0" is
// release 9; a text that does not start with a digit is release 0).
//
// Asks the application manager for client facts (version, NAS and non-NDMP
// flags) or instance facts (cluster type, cloud apps instance type); `event`
// is passed to the version and instance queries. Never fails: a fact that
// cannot be read counts as not set (an unreadable version is release 0, an
// unreadable cluster or instance type is 0).
EVTASK_EXPORT int getDefaultNumberofBackupStreams(int appTypeId, int clientId, int instanceId, void* event);

#endif  // EVTASK_UTIL_PLATFORMHELPERS_H

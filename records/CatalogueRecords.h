// Records filled from the server's catalogue queries (compliance options,
// record centers, record connectors, legal holds, tags, client update
// information). The field meanings are the server's: the library copies each
// response entry into one record field by field, in declaration order, and
// interprets nothing. Numbers are 32-bit; a text whose reference in the
// response is null arrives as the empty text.
//
// Thread safety: none; a record is used by one thread at a time.
#ifndef EVTASK_TASK_CATALOGUERECORDS_H
#define EVTASK_TASK_CATALOGUERECORDS_H

#include <list>
#include <string>

#include "evtask/export.h"

// Kind of compliance option asked for; sent to the server as a 32-bit value.
// The library passes the caller's value through unchanged.
enum ymComplianceOptions : int {};
static_assert(sizeof(ymComplianceOptions) == 4, "sent as a 32-bit value");

struct EVTASK_EXPORT _ComplianceOptionInfo {
  long value = 0;
  std::string name;
};

struct EVTASK_EXPORT _RecordCenterInfo {
  long id = 0;
  std::string text1;
  std::string text2;
  std::string text3;
  std::string text4;
  std::string text5;
  long value1 = 0;
  std::string text6;
  std::string text7;
  long value2 = 0;
};

struct EVTASK_EXPORT _RecordConnectorInfo {
  long id = 0;
  std::string text1;
  long value1 = 0;
  std::string text2;
  std::string text3;
  std::string text4;
  long value2 = 0;
};

struct EVTASK_EXPORT _LegalHoldInfo {
  std::string text1;
  std::string text2;
  std::string text3;
  // A 12-byte value of the response, copied word by word.
  unsigned long words1[3] = {0, 0, 0};
  std::string text4;
  // An 8-byte value of the response, copied word by word.
  unsigned long words2[2] = {0, 0};
};

struct EVTASK_EXPORT _DM2TagInfo {
  std::string text1;
  std::string text2;
  std::string text3;
  std::string text4;
  std::string text5;
  long value = 0;
};

struct EVTASK_EXPORT _SchedClientUpdateInfo {
  unsigned long firstWord = 0;
  unsigned long secondWord = 0;
};

// Caller's record for update-information queries; only `updates` is used.
struct EVTASK_EXPORT _UpdateInformation {
  std::list<_SchedClientUpdateInfo> updates;
};

#endif  // EVTASK_TASK_CATALOGUERECORDS_H

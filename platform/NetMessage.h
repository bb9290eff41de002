// Request and response headers of every exchange with the application
// manager, and the message class that fills and checks them.
//
// AppMgrReqHdr (16 bytes):
//   0  magic    u32  0x51524D41 ("AMRQ")
//   4  version  u32  1
//   8  pid      u32  process id of the client
//   12 sequence u32  per-process request counter (starts at 1)
// AppMgrRespHdr (20 bytes):
//   0  magic    u32  0x53524D41 ("AMRS")
//   4  result   i32  the server's result code; 0 = success
//   8  errorText     reference to the server's error text (null when none)
//   12 sequence u32  the sequence number of the request answered
//   16 reserved u32  zero
#ifndef EVTASK_PLATFORM_NETMESSAGE_H
#define EVTASK_PLATFORM_NETMESSAGE_H

#include <cstddef>
#include <cstdint>

#include "evtask/export.h"

struct AppMgrReqHdr {
  uint32_t magic;
  uint32_t version;
  uint32_t pid;
  uint32_t sequence;
};
static_assert(sizeof(AppMgrReqHdr) == 16, "AppMgrReqHdr is 16 bytes");

struct AppMgrRespHdr {
  uint32_t magic;
  int32_t result;
  char* errorText;
  uint32_t sequence;
  uint32_t reserved;
};
static_assert(sizeof(AppMgrRespHdr) == 20, "AppMgrRespHdr is 20 bytes");
static_assert(offsetof(AppMgrRespHdr, errorText) == 8, "error text reference at offset 8");

constexpr uint32_t kAppMgrReqMagic = 0x51524D41;
constexpr uint32_t kAppMgrRespMagic = 0x53524D41;
constexpr uint32_t kAppMgrHdrVersion = 1;

// An abstract message holding its message kind.
class EVTASK_EXPORT MessageBase {
 public:
  explicit MessageBase(unsigned long kind) : m_kind(kind) {}
  virtual unsigned long getKind() const = 0;
  virtual const char* getName() const = 0;
  virtual bool isValid() const = 0;
  virtual void reset() = 0;
  virtual ~MessageBase();

 protected:
  unsigned long m_kind;
};

class EVTASK_EXPORT NetMessage : public MessageBase {
 public:
  explicit NetMessage(unsigned long kind = 2);
  ~NetMessage() override;

  unsigned long getKind() const override { return m_kind; }
  const char* getName() const override { return "NetMessage"; }
  bool isValid() const override { return m_kind == 2; }
  void reset() override {}

  // Fills a zeroed request header.
  void initRequestHeader(AppMgrReqHdr& header);
  // Returns 0 when the server reported success; otherwise the server's code
  // (its text is at header.errorText), or YM_SESSION_PROTOCOL_ERROR when the
  // header is not a response header of this protocol.
  int verifyResponseHeader(AppMgrRespHdr& header);
};

// Fills a response header as an application manager does.
EVTASK_EXPORT void initResponseHeader(AppMgrRespHdr& header, const AppMgrReqHdr& request, int result,
                                      char* errorText);

#endif  // EVTASK_PLATFORM_NETMESSAGE_H

// The platform's XML request services: the XML request handler, the
// stored-procedure call and the decoder that turns a received XML text into
// a message of the class the text names, all answered by the application
// manager through the platform session (messages XmlHandlerReq,
// ExecuteSPReq and XmlDecodeReq of platform/PlatformMessages.h).
//
// Thread safety: objects keep no state shared with other objects; use one
// per thread.
#ifndef EVTASK_PLATFORM_XMLSERVICES_H
#define EVTASK_PLATFORM_XMLSERVICES_H

#include <memory>
#include <string>
#include <vector>

#include "evtask/export.h"
#include "platform/CNMessageBase.h"

// Context of a decoding call; the decoder accepts null.
struct YmXMLContextInfo;

class EVTASK_EXPORT XMLHandler {
 public:
  XMLHandler();
  ~XMLHandler();
  // Sends `xml` as a request of handler kind `kind` for the message type
  // `tag`. 0 with `xml` replaced by the reply text (empty when the server
  // sent none); otherwise the session's or server's code with its text in
  // `err`, and `xml` unchanged.
  int handleXMLReq(unsigned long kind, unsigned long tag, std::string& xml, std::string& err,
                   std::string context, unsigned long flags);
};

class EVTASK_EXPORT App_ExecuteSP {
 public:
  App_ExecuteSP();
  ~App_ExecuteSP();
  // Runs stored procedure `procedure` with `input`. 0 with the procedure's
  // output text in `output`; otherwise a code, with the text in `output`
  // left unchanged and the failure text available from lastError().
  int executeStoredProcedure(unsigned long procedure, const std::string& input, std::string& output,
                             void* event);
  const std::string& lastError() const { return m_err; }

 private:
  std::string m_err;
};

class EVTASK_EXPORT XMLDecoder {
 public:
  XMLDecoder();
  // Releases every message this decoder returned.
  ~XMLDecoder();
  // The message the text names, read from `xml` by the application manager
  // (message XmlDecodeReq), or null when the text is malformed, names a
  // class the manager does not know, or the session fails (lastCode() and
  // lastError() tell why). The decoder owns the result; it lives until the
  // decoder is destroyed.
  CNMessageBase* unSerialize(std::string& xml, YmXMLContextInfo* context);
  int lastCode() const { return m_code; }
  const std::string& lastError() const { return m_err; }

  XMLDecoder(const XMLDecoder&) = delete;
  XMLDecoder& operator=(const XMLDecoder&) = delete;

 private:
  std::vector<std::unique_ptr<CNMessageBase>> m_owned;
  int m_code = 0;
  std::string m_err;
};

#endif  // EVTASK_PLATFORM_XMLSERVICES_H

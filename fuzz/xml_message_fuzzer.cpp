// The XML message base on untrusted texts: CNMessageBase::unserialize into a
// message of each registered class, and the reader of whatever class the
// text names (what the application manager applies to an XMLDecoder request,
// and the client to the manager's answer). The first byte of the input picks
// the reader (and the class); the rest is the text.
//
// Each text is also read through pugixml's accessors instead of the direct
// view of its tree, with the same result.
//
// A failed read has a code and a text and leaves the message as it was; a
// successful one writes a text that reads back into the same message and the
// same text (the writer is canonical).
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "platform/CNMessageBase.h"
#include "platform/XmlTreeView.h"
#include "schedule/XmlMessages.h"

using namespace evtask;

namespace {

struct ClassNo {
  int family;
  int classNo;
};

// The classes the library reads back from the server, and one whose schema is not registered.
const ClassNo kClasses[] = {
    {TMMsg::GenericResp::kFamily, TMMsg::GenericResp::kClass},
    {TMMsg::CreateTaskResp::kFamily, TMMsg::CreateTaskResp::kClass},
    {TMMsg::GetTaskListResp::kFamily, TMMsg::GetTaskListResp::kClass},
    {TMMsg::TaskInfo::kFamily, TMMsg::TaskInfo::kClass},
    {TMMsg::AutomaticSchedulePattern::kFamily, TMMsg::AutomaticSchedulePattern::kClass},
    {JobManager::JobListResponse::kFamily, JobManager::JobListResponse::kClass},
    {JobManager::GetJobRequestEntitiesResp::kFamily, JobManager::GetJobRequestEntitiesResp::kClass},
    {JobManager::JobSummary::kFamily, JobManager::JobSummary::kClass},
    {DM2ContentIndexing::ScaleIndexReq::kFamily, DM2ContentIndexing::ScaleIndexReq::kClass},
    {App::UpdateSchedule::kFamily, App::UpdateSchedule::kClass},
};
constexpr size_t kClassCount = sizeof kClasses / sizeof kClasses[0];

std::string written(const CNMessageBase& m) {
  std::string xml;
  fuzz::require(m.serialize(xml) == 0, "a message does not write", m.lastError());
  return xml;
}

// A text that was read writes a text that reads back to itself.
void requireRoundTrip(const CNMessageBase& m) {
  const std::string once = written(m);
  CNMessageBase again(m.getFamily(), m.getClassNo());
  fuzz::require(again.unserialize(once) == 0, "a written text does not read back", again.lastError() + " " + once);
  fuzz::require(written(again) == once, "writing is not stable", once);
}

void viaMessage(const ClassNo& c, const std::string& text) {
  CNMessageBase m(c.family, c.classNo);
  m.setint64(1, 0, 7);
  m.setstring(2, 0, "before");
  const std::string before = written(m);
  const int rc = m.unserialize(text);
  if (rc != 0) {
    fuzz::require(!m.lastError().empty(), "a failed read has no text");
    fuzz::require(written(m) == before, "a failed read changed the message");
    return;
  }
  fuzz::require(m.getFamily() == c.family && m.getClassNo() == c.classNo, "a read changed the class");
  requireRoundTrip(m);
}

void viaDecoder(const std::string& text) {
  CNMessageBase m(5, 5);
  m.setint64(1, 0, 7);
  const std::string before = written(m);
  if (m.unserializeAnyClass(text) != 0) {
    fuzz::require(!m.lastError().empty(), "a failed decode has no text");
    fuzz::require(written(m) == before, "a failed decode changed the message");
    return;
  }
  requireRoundTrip(m);
  // The class the text names has its schema applied: reading the written
  // text again gives the same message.
  CNMessageBase n(0, 0);
  fuzz::require(n.unserializeAnyClass(written(m)) == 0, "a decoded message's text does not decode", n.lastError());
  fuzz::require(written(n) == written(m), "decoding is not stable");
}

// The reader walks pugixml's tree through its records where the probe
// allows, and through pugixml's accessors otherwise: both ways give the same
// code, text and message.
void sameThroughAccessors(const ClassNo& c, bool anyClass, const std::string& text) {
  CNMessageBase direct(c.family, c.classNo);
  CNMessageBase accessors(c.family, c.classNo);
  const int rc = anyClass ? direct.unserializeAnyClass(text) : direct.unserialize(text);
  xmltree::setAccessorsOnly(true);
  const int viaAccessors = anyClass ? accessors.unserializeAnyClass(text) : accessors.unserialize(text);
  xmltree::setAccessorsOnly(false);
  fuzz::require(rc == viaAccessors && direct.lastError() == accessors.lastError(),
                "the direct view and the accessors read differently",
                direct.lastError() + " | " + accessors.lastError());
  fuzz::require(rc != 0 || written(direct) == written(accessors),
                "the direct view and the accessors read other messages");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool registered = (registerScheduleMessageClasses(), true);
  (void)registered;
  if (size == 0) return 0;
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t pick = data[0] % (kClassCount + 1);
  if (pick == kClassCount) {
    viaDecoder(text);
    sameThroughAccessors({5, 5}, true, text);
  } else {
    viaMessage(kClasses[pick], text);
    sameThroughAccessors(kClasses[pick], false, text);
  }
  return 0;
}

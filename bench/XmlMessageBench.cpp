// The XML message base on a task-creation request with 10, 1 000 and 10 000
// associations: serialising and unserialising must cost about the same per
// association at every size, and unserialising must stay close to what
// pugixml alone needs to parse the same text.
#include <benchmark/benchmark.h>

#include <pugixml.hpp>

#include <memory>
#include <string>
#include <vector>

#include "schedule/XmlMessages.h"

namespace {

TMMsg::CreateTaskReq makeRequest(int associations) {
  registerScheduleMessageClasses();
  std::vector<YmEntities::GenericEntity> entities(static_cast<size_t>(associations));
  for (int i = 0; i < associations; ++i) {
    YmEntities::GenericEntity& e = entities[static_cast<size_t>(i)];
    e.setint64(0, 0, 0);
    e.setint64(11, 0, 100000 + i);
    e.setint64(20, 0, 2000 + i);
    e.setint64(29, 0, 300 + i);
    e.setint64(38, 0, 33);
    e.setint64(47, 0, 4000 + i);
    e.setstring(48, 0, "client-" + std::to_string(i));
  }
  TMMsg::TaskInfo info;
  CNMessageBase* task = info.getObjectAccessor(1, 0, true, false, 12, 367);
  task->setint64(8, 0, 2);
  task->setint64(10, 0, 1);
  task->setint64(12, 0, 3);
  task->setstring(14, 0, "benchmark");
  info.setlistobject(3, 0, entities);
  TMMsg::CreateTaskReq req;
  req.setObjectAccessor(2, 0, info);
  return req;
}

std::string makeText(int associations) {
  std::string xml;
  makeRequest(associations).serialize(xml, false);
  return xml;
}

void BM_SerializeCreateTaskReq(benchmark::State& state) {
  const TMMsg::CreateTaskReq req = makeRequest(static_cast<int>(state.range(0)));
  std::string xml;
  for (auto _ : state) {
    req.serialize(xml, false);
    benchmark::DoNotOptimize(xml.data());
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
  state.counters["bytes"] = static_cast<double>(xml.size());
}

void BM_UnserializeCreateTaskReq(benchmark::State& state) {
  const std::string xml = makeText(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    // Only the reading is timed: releasing the message afterwards is the
    // caller's cost, not part of unserialising (the parse-only loop below
    // releases a document of a few large pages, which costs next to nothing).
    std::unique_ptr<TMMsg::CreateTaskReq> req(new TMMsg::CreateTaskReq());
    if (req->unserialize(xml) != 0) state.SkipWithError("unserialize failed");
    benchmark::DoNotOptimize(req.get());
    state.PauseTiming();
    req.reset();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

// pugixml parsing the same text with the options the message base uses.
void BM_PugixmlParseOnly(benchmark::State& state) {
  const std::string xml = makeText(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    pugi::xml_document doc;
    auto r = doc.load_buffer(xml.data(), xml.size(), pugi::parse_escapes | pugi::parse_ws_pcdata_single | pugi::parse_cdata | pugi::parse_embed_pcdata,
                             pugi::encoding_utf8);
    if (!r) state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(&doc);
  }
  state.SetItemsProcessed(state.iterations() * state.range(0));
}

}  // namespace

BENCHMARK(BM_SerializeCreateTaskReq)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnserializeCreateTaskReq)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_PugixmlParseOnly)->Arg(10)->Arg(1000)->Arg(10000)->Unit(benchmark::kMicrosecond);

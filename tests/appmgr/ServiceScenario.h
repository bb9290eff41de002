// Every service operation of the library run once against an application
// manager that holds the demo catalogue, checking what comes back. Shared by
// the embedded tests and the socket integration tests.
#ifndef EVTASK_TESTS_APPMGR_SERVICESCENARIO_H
#define EVTASK_TESTS_APPMGR_SERVICESCENARIO_H

#include <string>
#include <tuple>

namespace evtask {
namespace test {

// Several values compared in one check; by value, so that fields of packed
// wire structures can be passed.
template <class... T>
std::tuple<T...> vals(T... v) {
  return std::tuple<T...>(v...);
}

// Runs through TaskInterfaceNet, YMGlobalParam, XMLDecoder and the client
// facts on whatever endpoint is configured; task ids from `base` on are
// created, so runs on one store use separate bases.
void runServiceScenario(unsigned long base);
// A fresh temporary folder, removed by the caller with removeTree.
std::string makeTempDir();
void removeTree(const std::string& dir);

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_APPMGR_SERVICESCENARIO_H

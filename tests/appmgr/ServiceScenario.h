// Every service operation of the library run once against an application
// manager that holds the demo catalogue (fresh store), checking what comes
// back. Shared by the embedded tests and the socket integration tests.
#ifndef EVTASK_TESTS_APPMGR_SERVICESCENARIO_H
#define EVTASK_TESTS_APPMGR_SERVICESCENARIO_H

#include <string>

namespace evtask {
namespace test {

// Runs the scenario through TaskInterfaceNet, YMGlobalParam and the client
// facts on whatever endpoint the configuration selects. Task ids from
// `base` on are created, so separate runs on one store use separate bases.
void runServiceScenario(unsigned long base);

// A fresh temporary folder (removed by the caller with removeTree).
std::string makeTempDir();
void removeTree(const std::string& dir);

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_APPMGR_SERVICESCENARIO_H

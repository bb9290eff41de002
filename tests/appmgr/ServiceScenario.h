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

// The schedule and job operations of the task object, once, for a client id
// no other run uses: an easy-backup schedule created and listed, an immediate
// job created and waited for, the schedule run, the entities of the job's
// request, and the schedule deleted. Waiting polls through the platform
// clock: the caller installs a fake one, and the server's jobs must end
// within a few of its polls.
void runScheduleScenario(int clientId);

// A fresh temporary folder (removed by the caller with removeTree).
std::string makeTempDir();
void removeTree(const std::string& dir);

}  // namespace test
}  // namespace evtask

#endif  // EVTASK_TESTS_APPMGR_SERVICESCENARIO_H

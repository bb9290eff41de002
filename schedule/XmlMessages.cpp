#include "schedule/XmlMessages.h"

#include <mutex>

namespace {

constexpr XmlFieldKind I = XmlFieldKind::kInt;
constexpr XmlFieldKind S = XmlFieldKind::kText;
constexpr XmlFieldKind LI = XmlFieldKind::kIntList;
constexpr XmlFieldKind LS = XmlFieldKind::kTextList;
constexpr XmlFieldKind O = XmlFieldKind::kObject;
constexpr XmlFieldKind LO = XmlFieldKind::kObjectList;

}  // namespace

void registerScheduleMessageClasses() {
  static std::once_flag once;
  std::call_once(once, [] {
    const XmlClassSpec specs[] = {
        {12, 1, "TMMsg::GenericResp", {{1, I, 0, 0}, {2, S, 0, 0}}},
        {12, 100, "TMMsg::CreateTaskResp", {{1, I, 0, 0}, {2, LS, 0, 0}}},
        {12, 175, "TMMsg::CreateTaskReq", {{2, O, 12, 40}}},
        {12, 40, "TMMsg::TaskInfo", {{1, O, 12, 367}, {3, LO, 18, 46}, {5, LO, 12, 183}}},
        {12, 367,
         "TMMsg::Task",
         {{1, I, 0, 0}, {2, S, 0, 0}, {6, O, 12, 265}, {8, I, 0, 0}, {10, I, 0, 0}, {12, I, 0, 0}, {14, S, 0, 0}}},
        {12, 265, "TMMsg::TaskFlags", {{1, I, 0, 0}, {7, I, 0, 0}}},
        {12, 183, "TMMsg::SubTaskInfo", {{1, O, 12, 10}, {3, O, 12, 78}, {4, O, 12, 262}}},
        {12, 10, "TMMsg::SubTask", {{1, S, 0, 0}, {5, I, 0, 0}, {6, I, 0, 0}, {7, I, 0, 0}}},
        {12, 78, "TMMsg::Pattern", {{2, S, 0, 0}, {7, I, 0, 0}, {9, I, 0, 0}, {16, I, 0, 0}, {17, I, 0, 0}}},
        {12, 262, "TMMsg::JobOption", {{1, O, 12, 111}, {3, O, 12, 375}, {4, O, 12, 17}}},
        {12, 17, "TMMsg::JobOptionSchedule", {{13, O, 12, 336}, {24, I, 0, 0}}},
        {12, 336, "TMMsg::AutomaticSchedulePattern", {{1, I, 0, 0}, {3, I, 0, 0}}},
        {12, 88, "TMMsg::GetTaskListResp", {{1, LO, 12, 40}}},
        {12, 223, "TMMsg::GetTaskListReq", {{2, O, 12, 229}}},
        {12, 229, "TMMsg::TaskFilter", {{1, O, 18, 46}, {3, LI, 0, 0}, {4, I, 0, 0}, {6, I, 0, 0}, {11, I, 0, 0}}},
        {12, 105,
         "TMMsg::TaskOperationReq",
         {{2, LI, 0, 0}, {3, LO, 18, 43}, {4, I, 0, 0}, {5, LO, 18, 44}, {10, I, 0, 0}, {12, O, 12, 258}}},
        {12, 258, "TMMsg::OptionHolder", {{1, LO, 12, 384}}},
        {12, 384, "TMMsg::OptionFilter", {{1, I, 0, 0}, {2, S, 0, 0}}},
        {18, 46,
         "YmEntities::GenericEntity",
         {{0, I, 0, 0}, {1, I, 0, 0}, {11, I, 0, 0}, {12, S, 0, 0}, {20, I, 0, 0}, {21, S, 0, 0}, {29, I, 0, 0},
          {30, S, 0, 0}, {38, I, 0, 0}, {47, I, 0, 0}, {48, S, 0, 0}, {73, I, 0, 0}, {100, I, 0, 0}, {105, I, 0, 0}}},
        {18, 43, "YmEntities::TaskEntity", {{0, I, 0, 0}}},
        {18, 44, "YmEntities::SubtaskEntity", {{0, I, 0, 0}, {1, I, 0, 0}}},
        {18, 47, "YmEntities::SubClientEntity", {{0, I, 0, 0}}},
        {18, 4, "YmEntities::ClientEntity", {{0, I, 0, 0}, {1, S, 0, 0}, {9, I, 0, 0}, {14, S, 0, 0}}},
        {21, 92, "JobManager::JobListRequest", {{1, O, 21, 159}, {2, O, 21, 34}, {3, I, 0, 0}}},
        {21, 34, "JobManager::JobFilter", {{4, LI, 0, 0}, {11, I, 0, 0}}},
        {21, 194, "JobManager::JobListResponse", {{1, LO, 21, 31}}},
        {21, 31, "JobManager::Job", {{1, O, 21, 30}}},
        {21, 30, "JobManager::JobSummary", {{1, I, 0, 0}, {10, S, 0, 0}, {19, S, 0, 0}}},
        {21, 11, "JobManager::GetJobRequestEntitiesReq", {{1, I, 0, 0}}},
        {21, 143, "JobManager::GetJobRequestEntitiesResp", {{1, I, 0, 0}, {3, LO, 18, 47}}},
        {30, 610, "DM2ContentIndexing::IndexAutoscaleOption", {{1, LO, 30, 611}}},
        {30, 611,
         "DM2ContentIndexing::ScaleIndexReq",
         {{2, LO, 30, 612}, {4, O, 18, 4}, {5, O, 18, 4}, {6, O, 18, 4}}},
        {30, 612, "DM2ContentIndexing::ScaleIndexCoreInfo", {{1, S, 0, 0}, {6, S, 0, 0}, {10, S, 0, 0}, {14, I, 0, 0}}},
        {40, 1, "App::UpdateSchedule", {{1, I, 0, 0}, {2, I, 0, 0}}},
    };
    for (const XmlClassSpec& s : specs) registerMessageClass(s);
  });
}

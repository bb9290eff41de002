// The virtual order of TaskInterface is part of the ABI: existing callers
// dispatch by slot.
#include <gtest/gtest.h>

#include "service/TaskInterface.h"
#include "support/AbiSlots.h"

namespace {

using evtask::test::slotOf;
using TI = TaskInterface;

typedef int (TI::*RemoveOptionRecords)(_TaskInfo&, std::vector<const TaskOption*>, std::string&, void*);
typedef int (TI::*RemoveOptionIds)(_TaskInfo&, const std::vector<unsigned long long>&, std::string&, void*);
typedef int (TI::*RemoveFileRecords)(_TaskInfo&, std::vector<const TaskFile*>, std::string&, void*);
typedef int (TI::*RemoveFileNames)(_TaskInfo&, const std::vector<std::string>&, std::string&, void*);

TEST(TaskInterfaceAbiTest, OperationsKeepTheirSlots) {
  // In slot order from 2: slots 0 and 1 are the two destructor entries.
  const int slots[] = {
      slotOf(&TI::lookup), slotOf(&TI::update), slotOf(&TI::getOptions), slotOf(&TI::setOptions),
      slotOf(static_cast<RemoveOptionRecords>(&TI::removeOptions)),
      slotOf(static_cast<RemoveOptionIds>(&TI::removeOptions)), slotOf(&TI::getDefaults), slotOf(&TI::getJobInfo),
      slotOf(&TI::getTaskInfo), slotOf(&TI::getSubTaskInfo), slotOf(&TI::getEntityInfo), slotOf(&TI::setTaskInfo),
      slotOf(&TI::setSubTaskInfo), slotOf(&TI::setEntityInfo), slotOf(&TI::getDefaultTaskId),
      slotOf(&TI::getPatternInfo), slotOf(&TI::getXMLOptions), slotOf(&TI::getBitOptions),
      slotOf(&TI::getExtendedOptions), slotOf(&TI::getFiles), slotOf(&TI::setFiles),
      slotOf(static_cast<RemoveFileRecords>(&TI::removeFiles)), slotOf(static_cast<RemoveFileNames>(&TI::removeFiles)),
      slotOf(&TI::getJobListFromTaskId), slotOf(&TI::getJobIdsFromBkpStats), slotOf(&TI::getJobRequestIdFromJobId),
      slotOf(&TI::getComplianceOptionList), slotOf(&TI::getRecordCenterList), slotOf(&TI::getRecordConnectorList),
      slotOf(&TI::getLegalHoldList), slotOf(&TI::getTagList), slotOf(&TI::GetUpdateInfo), slotOf(&TI::CreateTask),
      slotOf(&TI::TaskRequest), slotOf(&TI::getAutomaticSchedulePattern), slotOf(&TI::runTasks),
      slotOf(&TI::performOperation), slotOf(&TI::getDefaultOption)};
  ASSERT_EQ(38u, sizeof slots / sizeof slots[0]);
  for (int i = 0; i < 38; ++i) EXPECT_EQ(i + 2, slots[i]) << "operation " << i << " of the list";
}

}  // namespace

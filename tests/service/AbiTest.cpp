// The virtual order of TaskInterface is part of the ABI: existing callers
// dispatch by slot.
#include <gtest/gtest.h>

#include "service/TaskInterface.h"
#include "support/AbiSlots.h"

namespace {

using evtask::test::slotOf;

typedef int (TaskInterface::*RemoveOptionRecords)(_TaskInfo&, std::vector<const TaskOption*>, std::string&, void*);
typedef int (TaskInterface::*RemoveOptionIds)(_TaskInfo&, const std::vector<unsigned long long>&, std::string&,
                                              void*);
typedef int (TaskInterface::*RemoveFileRecords)(_TaskInfo&, std::vector<const TaskFile*>, std::string&, void*);
typedef int (TaskInterface::*RemoveFileNames)(_TaskInfo&, const std::vector<std::string>&, std::string&, void*);

}  // namespace

TEST(TaskInterfaceAbiTest, OperationsKeepTheirSlots) {
  // Slots 0 and 1 are the two destructor entries.
  EXPECT_EQ(2, slotOf(&TaskInterface::lookup));
  EXPECT_EQ(3, slotOf(&TaskInterface::update));
  EXPECT_EQ(4, slotOf(&TaskInterface::getOptions));
  EXPECT_EQ(5, slotOf(&TaskInterface::setOptions));
  EXPECT_EQ(6, slotOf(static_cast<RemoveOptionRecords>(&TaskInterface::removeOptions)));
  EXPECT_EQ(7, slotOf(static_cast<RemoveOptionIds>(&TaskInterface::removeOptions)));
  EXPECT_EQ(8, slotOf(&TaskInterface::getDefaults));
  EXPECT_EQ(9, slotOf(&TaskInterface::getJobInfo));
  EXPECT_EQ(10, slotOf(&TaskInterface::getTaskInfo));
  EXPECT_EQ(11, slotOf(&TaskInterface::getSubTaskInfo));
  EXPECT_EQ(12, slotOf(&TaskInterface::getEntityInfo));
  EXPECT_EQ(13, slotOf(&TaskInterface::setTaskInfo));
  EXPECT_EQ(14, slotOf(&TaskInterface::setSubTaskInfo));
  EXPECT_EQ(15, slotOf(&TaskInterface::setEntityInfo));
  EXPECT_EQ(16, slotOf(&TaskInterface::getDefaultTaskId));
  EXPECT_EQ(17, slotOf(&TaskInterface::getPatternInfo));
  EXPECT_EQ(18, slotOf(&TaskInterface::getXMLOptions));
  EXPECT_EQ(19, slotOf(&TaskInterface::getBitOptions));
  EXPECT_EQ(20, slotOf(&TaskInterface::getExtendedOptions));
  EXPECT_EQ(21, slotOf(&TaskInterface::getFiles));
  EXPECT_EQ(22, slotOf(&TaskInterface::setFiles));
  EXPECT_EQ(23, slotOf(static_cast<RemoveFileRecords>(&TaskInterface::removeFiles)));
  EXPECT_EQ(24, slotOf(static_cast<RemoveFileNames>(&TaskInterface::removeFiles)));
  EXPECT_EQ(25, slotOf(&TaskInterface::getJobListFromTaskId));
  EXPECT_EQ(26, slotOf(&TaskInterface::getJobIdsFromBkpStats));
  EXPECT_EQ(27, slotOf(&TaskInterface::getJobRequestIdFromJobId));
  EXPECT_EQ(28, slotOf(&TaskInterface::getComplianceOptionList));
  EXPECT_EQ(29, slotOf(&TaskInterface::getRecordCenterList));
  EXPECT_EQ(30, slotOf(&TaskInterface::getRecordConnectorList));
  EXPECT_EQ(31, slotOf(&TaskInterface::getLegalHoldList));
  EXPECT_EQ(32, slotOf(&TaskInterface::getTagList));
  EXPECT_EQ(33, slotOf(&TaskInterface::GetUpdateInfo));
  EXPECT_EQ(34, slotOf(&TaskInterface::CreateTask));
  EXPECT_EQ(35, slotOf(&TaskInterface::TaskRequest));
  EXPECT_EQ(36, slotOf(&TaskInterface::getAutomaticSchedulePattern));
  EXPECT_EQ(37, slotOf(&TaskInterface::runTasks));
  EXPECT_EQ(38, slotOf(&TaskInterface::performOperation));
  EXPECT_EQ(39, slotOf(&TaskInterface::getDefaultOption));
}

// EvRstTask: a restore task. Named, typed access to the options a restore
// job uses, and the restore paths of the task sorted by kind into the path
// lists of its record.
//
// Every named accessor forwards to one typed option accessor of EvTask with
// a fixed option id and returns its result: 0 on success, otherwise the code
// of the option load or write, with the text in getErrorString(). A getter
// of an option that neither the task nor the defaults hold succeeds with the
// empty value (0, false or the empty text). The trailing void* is the
// caller's event argument, passed on unread.
//
// Some options are reached under several names: the on-demand restore file,
// the on-demand input file and the source item are one option; the FCS path
// and the filter item are one option.
//
// Path types of addPath and getFirstPath:
//
//   type  file type  list                side effect of addPath   iterable
//   1     150001     source paths        -                        yes
//   2     150002     destination paths   -                        yes
//   3     150003     filter paths        -                        yes
//   4     150004     user names          setUserName(path)        no
//   5     150005     passwords           setPassword(path)        no
//   6     -          -                   accepted and ignored     no
//   7     150007     path list 7         -                        yes
//   8     150008     path list 8         -                        yes
//   10    150010     search paths        -                        yes
//
// Every other type (0, 9, negative, above 10) is rejected: addPath ignores
// it and getFirstPath returns null.
//
// Ownership: the caller owns the task object. The path lists belong to the
// task's record; texts returned by getFirstPath and getNextPath stay valid
// until that list is changed or emptied.
//
// Thread safety: a task object is used by one thread at a time.
//
// The order of the virtual operations below continues EvTask's and is part
// of the ABI, as are the data members.
#ifndef EVTASK_TASK_EVRSTTASK_H
#define EVTASK_TASK_EVRSTTASK_H

#include <string>

#include "evtask/export.h"
#include "task/EvTask.h"

// The largest text the value field of RestoreTaskOptionsItem holds; the
// field has room for it and its terminator.
#define RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX 1024

// Two options packed together, as the pre/post command operations of EvTask
// exchange them: a number and a text. The caller owns the record.
struct EVTASK_EXPORT RestoreTaskOptionsItem {
  // The client of a pre or post command, or the value of the pre/post user
  // name's companion option; unused for the password.
  unsigned long id;
  // A command line, a user name or a stored password, always terminated. A
  // longer stored text is cut to its first RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX
  // characters.
  char value[RESTORE_TASK_OPTIONS_ITEM_VALUE_MAX + 1];
};

class EVTASK_EXPORT EvRstTask : public EvTask {
 public:
  // As EvTask's constructor; then, when id is not 0, the task's files are
  // loaded and sorted into the path lists (see EvTask::buildFileList). A
  // failed load leaves the lists empty and the failure in the error state.
  EvRstTask(unsigned long long id, int idKind, void* event, bool flag);
  // As above, loading the files only when loadFiles is true.
  EvRstTask(unsigned long long id, int idKind, void* event, bool flag, bool loadFiles);
  // As EvTask's copy; the path lists are copied with the record, the path
  // cursor starts unpositioned.
  EvRstTask(const EvRstTask& other);
  ~EvRstTask() override;

  virtual int getControlCellId(long& value, void* event);
  virtual int setControlCellId(long value, void* event);
  virtual int getSourceClientId(long& value, void* event);
  virtual int setSourceClientId(long value, void* event);
  virtual int getDestinationClientId(long& value, void* event);
  virtual int setDestinationClientId(long value, void* event);
  // These three read the options of EvTask's unsigned accessors of the same
  // names, as signed values; they hide those accessors (call them as
  // EvTask::getAppTypeId and so on).
  virtual int getAppTypeId(long& value, void* event);
  virtual int setAppTypeId(long value, void* event);
  virtual int getInstanceId(long& value, void* event);
  virtual int setInstanceId(long value, void* event);
  virtual int getBackupSetId(long& value, void* event);
  virtual int setBackupSetId(long value, void* event);
  virtual int getAppId(long& value, void* event);
  virtual int setAppId(long value, void* event);
  virtual int getToTime(long& value, void* event);
  virtual int setToTime(long value, void* event);
  virtual int getFromTime(long& value, void* event);
  virtual int setFromTime(long value, void* event);
  virtual int getStripLevel(long& value, void* event);
  virtual int setStripLevel(long value, void* event);
  virtual int getPreserve(long& value, void* event);
  virtual int setPreserve(long value, void* event);
  virtual int getDestinationInstanceId(unsigned long& value, void* event);
  virtual int setDestinationInstanceId(unsigned long value, void* event);
  virtual int getRstUserName(std::string& value, void* event);
  virtual int setRstUserName(std::string value, void* event);
  virtual int getRstMapFile(std::string& value, void* event);
  virtual int setRstMapFile(std::string value, void* event);
  virtual int getMediaAgentId(int& value, void* event);
  virtual int setMediaAgentId(int value, void* event);
  virtual int getUserName(std::string& value, void* event);
  virtual int setUserName(std::string value, void* event);
  // The password is stored and returned as given: nothing here encrypts or
  // decrypts it.
  virtual int getPassword(std::string& value, void* event);
  virtual int setPassword(std::string value, void* event);
  virtual int getUserAccessInfo(std::string& value, void* event);
  virtual int setUserAccessInfo(std::string value, void* event);
  virtual int getRstInitiatingUserName(std::string& value, void* event);
  virtual int setRstInitiatingUserName(std::string value, void* event);
  virtual int getUseExactIndex(bool& value, void* event);
  virtual int setUseExactIndex(bool value, void* event);
  virtual int getIncludeMetadata(bool& value, void* event);
  virtual int setIncludeMetadata(bool value, void* event);
  virtual int getBrowseViewName(std::string& value, void* event);
  virtual int setBrowseViewName(const std::string& value, void* event);
  virtual int getStartSuspendedFlag(bool& value, void* event);
  virtual int setStartSuspendedFlag(const bool& value, void* event);
  virtual int getArchGroupSynchronousCopyPrecedence(unsigned long& value, void* event);
  virtual int setArchGroupSynchronousCopyPrecedence(unsigned long value, void* event);
  virtual int getArchGroupSelectiveCopyPrecedence(unsigned long& value, void* event);
  virtual int setArchGroupSelectiveCopyPrecedence(unsigned long value, void* event);
  virtual int getArchGroupCopyPrecedence(unsigned long& value, void* event);
  virtual int setArchGroupCopyPrecedence(unsigned long value, void* event);
  virtual int getMediaPredictionFile(std::string& value, void* event);
  virtual int setMediaPredictionFile(std::string value, void* event);
  // `result` is true when the media prediction file reads as a non-empty
  // text; false on an empty or missing text and on a failed read, whose code
  // is returned.
  virtual int IsMediaPredictionRestore(bool& result, void* event);
  virtual int getOnDemandRestoreFile(std::string& value, void* event);
  virtual int setOnDemandRestoreFile(std::string value, void* event);
  // As IsMediaPredictionRestore, for the on-demand restore file.
  virtual int IsOnDemandRestore(bool& result, void* event);
  virtual int getOnDemandInFile(std::string& value, void* event);
  virtual int setOnDemandInFile(std::string value, void* event);
  virtual int getNoMapping(bool& value, void* event);
  virtual int setNoMapping(bool value, void* event);
  virtual int getDestAppTypeId(long& value, void* event);
  virtual int setDestAppTypeId(long value, void* event);
  virtual int getSybaseRenameDevices(std::string& value, void* event);
  virtual int setSybaseRenameDevices(std::string value, void* event);
  virtual int getFCSPath(std::string& value, void* event);
  virtual int setFCSPath(std::string value, void* event);
  virtual int getFilterItem(std::string& value, void* event);
  virtual int setFilterItem(std::string value, void* event);
  virtual int getSearchItem(std::string& value, void* event);
  virtual int setSearchItem(std::string value, void* event);
  virtual int getSourceItem(std::string& value, void* event);
  virtual int setSourceItem(std::string value, void* event);

  // Appends `path` to the list of its path type (table above). A null or
  // empty path, or a rejected type, changes nothing. While the list is being
  // iterated, the iteration goes on and reaches the new entry.
  virtual void addPath(long pathType, const char* path);
  // Positions the cursor on the first entry of the type's list and returns
  // its text, or null when the list is empty. A type that is not iterable
  // returns null and leaves the cursor where it was.
  virtual const char* getFirstPath(long pathType);
  // The next entry's text, or null at the end (or before any positioning).
  virtual const char* getNextPath();
  // Empty the source and filter lists / the destination list / the search
  // list / the filter list. An iteration over an emptied list ends: the next
  // getNextPath returns null.
  virtual void deleteSrcPaths();
  virtual void deleteDestPaths();
  virtual void deletePowerRstSearchPaths();
  virtual void deleteFilterPaths();

 private:
  // Carried for layout compatibility; nothing reads them.
  std::string reservedText;
  bool reservedFlag1;
  bool reservedFlag2;
};

#endif  // EVTASK_TASK_EVRSTTASK_H

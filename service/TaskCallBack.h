// Callback interfaces through which the task service delivers options,
// default options and file entries one record at a time. Implemented by
// the task object; the service ignores their results.
#ifndef EVTASK_SERVICE_TASKCALLBACK_H
#define EVTASK_SERVICE_TASKCALLBACK_H

#include <string>

#include "evtask/export.h"

class EVTASK_EXPORT OptionCallBack {
 public:
  virtual int getOptionsCallback(unsigned long long optionId, std::string value, unsigned long type) = 0;
  virtual int getDefaultsCallback(unsigned long long optionId, std::string value, unsigned long type) = 0;
};

class EVTASK_EXPORT FileCallBack {
 public:
  virtual int getFilesCallback(unsigned long long optionId, std::string value, unsigned long type) = 0;
};

#endif  // EVTASK_SERVICE_TASKCALLBACK_H

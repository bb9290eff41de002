// Uses the installed library the way a caller does: a task object that needs
// no server (id 0 fetches nothing), the legacy option tables and a
// conversion helper. Prints one line the test compares.
#include <iostream>
#include <string>

#include "task/EvTask.h"
#include "util/BasicConversion.h"

int main() {
  EvTask task(0, 2, nullptr, false);
  unsigned long long byName = task.nameToOptionId("", false);
  std::string text;
  BasicConversion::toString(static_cast<long long>(-42), text);
  std::cout << "evtask " << EVTASK_VERSION_MAJOR << "." << EVTASK_VERSION_MINOR << " id=" << task.getId()
            << " name=" << byName << " text=" << text << " long=" << sizeof(long) << "\n";
  return 0;
}

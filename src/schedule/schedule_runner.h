// The schedule check: fires the due power tasks of the projectors in the projector table
// and stores them moved on. Driven by the main window's timers and by the headless runner.
#pragma once

#include <functional>
#include <string>

#include "protocol/clock.h"
#include "protocol/console.h"
#include "schedule/local_time.h"
#include "store/reg_store.h"

namespace vistrel {

class ScheduleRunner {
  public:
    // Puts one request on the request ring for a projector. The owner of the request (the
    // main window) is the callback's business.
    using EnqueueFn = std::function<void(const std::string& body, const std::string& ip)>;

    ScheduleRunner(RegStore& store, const Clock& clock, const LocalTime& zone, EnqueueFn enqueue);

    // One check over every projector of the table, in table order. Each projector's four
    // tasks are read from the store; a due task is moved on (see FireIfDue), stored in the
    // table and the store, and its power command is queued for the projector's address.
    // When several tasks of one projector fire, their commands are queued in the order of
    // the occurrences they stand for, so the latest intended state arrives last. The store
    // is written at most once. The table's lock is taken twice, briefly: to copy the
    // projectors out and to put fired tasks back; the store is read and written, and the
    // commands queued, with it released, so polling never waits for the file.
    // Returns the number of tasks fired.
    int RunSchedules(ProjectorTable& table);

  private:
    RegStore& store_;
    const Clock& clock_;
    const LocalTime& zone_;
    EnqueueFn enqueue_;
};

}  // namespace vistrel

// The all-day event import: see all_day_events.h.
#include "database/all_day_events.h"

#include "database/counters.h"
#include "database/event_store.h"
#include "errors/guard.h"
#include "yeardata/delimited_fields.h"

namespace database {

std::string DoubleApostrophes(const std::string& name) {
  std::string doubled;
  doubled.reserve(name.size() + 4);
  for (char c : name) {
    doubled += c;
    if (c == '\'') doubled += '\'';
  }
  return doubled;
}

void AddAllDayEvents(std::vector<std::string>& records) {
  errors::Guarded("frmMain.AddAllDayEvents", [&] {
    // One array serves as the event data read back and as the fields of a
    // new event; slot 8 keeps what the last read left there.
    std::vector<std::string> event(kEventDataSlots);
    std::vector<std::string> dates(1);
    std::vector<std::string> event_ids;
    std::string new_event_id;

    const int16_t last_record = UpperBound16(records);
    int16_t r = 0;
    do {
      const std::string& record = records[static_cast<size_t>(r)];
      const std::string date = yeardata::GetDelimitedFields(record, "|", 1, 0);
      const std::string names = yeardata::GetDelimitedFields(record, "|", 3, 0);
      if (names.empty()) continue;
      if (!GetEventsByDate(date, event_ids)) return;
      for (int16_t n = 1;; n = Increment16(n)) {
        const std::string name = yeardata::GetDelimitedFields(names, "^", n, 0);
        if (name.empty()) break;
        bool found = false;
        const int16_t last_id = UpperBound16(event_ids);
        int16_t k = 0;
        do {
          const std::string& id = event_ids[static_cast<size_t>(k)];
          if (id.empty()) continue;
          if (GetEventData(id, event) && event[1] == name && event[2] == "True") {
            found = true;
            break;
          }
        } while (NextPass16(k, last_id));
        if (found) continue;

        event[0] = DoubleApostrophes(name);
        event[1] = "1";
        event[2] = "0:00 AM";
        event[3] = "11:59 PM";
        event[4] = "";
        event[5] = "";
        event[6] = "";
        event[7] = "0";
        dates[0] = date;
        new_event_id.clear();
        if (!AddEventToDatabase(event, dates, new_event_id)) return;
      }
    } while (NextPass16(r, last_record));
  });
}

}  // namespace database

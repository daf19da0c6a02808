// The update run: see update.h.
#include "wizard/update.h"

#include <vector>

#include "database/all_day_events.h"
#include "database/connection.h"
#include "database/day_merge.h"
#include "errors/guard.h"
#include "wizard/leftovers.h"
#include "yeardata/date_records.h"

namespace wizard {

void Update(UpdateView& view, const std::string& strDatabaseFile,
            const VirtualStoreSystem& system) {
  std::vector<std::string> records;  // released on return, whichever way (U5)
  database::Flag success = database::kFalse;
  errors::Guarded("frmMain.Update", [&] {
    view.SetStatusText(kWaitText);
    view.YieldToEvents();
    ClearNewCalendarLeftovers(strDatabaseFile);
    const UpdateTarget target = TargetForUpdate(strDatabaseFile, system);  // (U6)
    if (target.is_copy) view.UpdatingCopy(target.path, target.made);
    database::OpenDatabase(target.path, success);
    if (!success) return;
    yeardata::LoadDateRecords(records);
    database::InitDates(records, success);
    if (!success) return;
    database::AddAllDayEvents(records);
    database::CloseDatabaseConnection();
    view.SetStatusText(kCompletedText);
    view.SetMainButtonCaption(kFinishCaption);
    view.SetMainButtonEnabled(true);
    view.SetCancelEnabled(false);
  });
}

void Update(UpdateView& view, const std::string& strDatabaseFile) {
  Update(view, strDatabaseFile, ThisSystemsVirtualStore());
}

}  // namespace wizard

// The day merge: see day_merge.h.
#include "database/day_merge.h"

#include <memory>

#include "ado/recordset.h"
#include "database/counters.h"
#include "errors/guard.h"
#include "yeardata/delimited_fields.h"

namespace database {

void InitDates(std::vector<std::string>& records, Flag& success) {
  success = errors::Guarded("frmMain.InitDates", kFalse, [&] {
    ado::Required(gDatabaseConnection).Errors().Clear();
    auto recordset = std::make_unique<ado::Recordset>();
    recordset->SetCursorLocation(ado::adUseClient);
    const std::string notes;  // new rows get empty notes
    const int16_t last = UpperBound16(records);
    int16_t i = 0;
    do {
      const std::string& record = records[static_cast<size_t>(i)];
      const std::string date = yeardata::GetDelimitedFields(record, "|", 1, 0);
      const std::string colour = yeardata::GetDelimitedFields(record, "|", 2, 0);
      const std::string text = yeardata::GetDelimitedFields(record, "|", 4, 0);
      if (!date.empty()) {
        recordset->Open("SELECT * FROM Dates WHERE (((Dates.DateKey)=#" + date + "#));",
                        gDatabaseConnection.get(), ado::adOpenDynamic, ado::adLockUnspecified,
                        ado::adCmdUnspecified);
        const bool exists = !recordset->Eof();
        recordset->Close();
        std::string sql;
        if (exists) {
          sql = "UPDATE Dates SET DateColor = '" + colour + "', DateText = '" + text +
                "' WHERE (((Dates.DateKey)=#" + date + "#));";
        } else {
          sql =
              "INSERT INTO Dates (DateKey, DateColor, EventCount, DateNotes, DateText) "
              "VALUES ('" +
              date + "','" + colour + "','" + "0" + "','" + notes + "','" + text + "');";
        }
        ado::Required(gDatabaseConnection).Execute(sql, ado::adCmdUnspecified);
      }
    } while (NextPass16(i, last));
    return kTrue;
  });
}

}  // namespace database

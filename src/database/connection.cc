// The shared connection: see connection.h.
#include "database/connection.h"

#include "ado/connection_string.h"
#include "errors/guard.h"

namespace database {

std::unique_ptr<ado::Connection> gDatabaseConnection;

void OpenDatabase(std::string strDatabaseFile, Flag& success) {
  success = errors::Guarded("frmMain.OpenDatabase", kFalse, [&] {
    gDatabaseConnection = std::make_unique<ado::Connection>();
    const std::string connection_string = ado::ComposeConnectionString(strDatabaseFile);
    gDatabaseConnection->Open(connection_string, "", "", ado::adConnectUnspecified);
    return kTrue;
  });
}

void CloseDatabaseConnection() {
  ado::Required(gDatabaseConnection).Close();
  gDatabaseConnection.reset();
}

}  // namespace database

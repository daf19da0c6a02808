// Batch command of the calendar update. The update run needs the database
// layer, which is not built yet; until then the command says so and changes
// nothing.
#include <clocale>
#include <cstdio>

int main() {
  // The error log takes its month names from the user's locale.
  std::setlocale(LC_ALL, "");
  std::fputs(
      "Tessaly Calendar Update (2010)\n"
      "The update run is not available in this build yet: the calendar\n"
      "database layer is still being built. No database was changed.\n"
      "Use 'jetdb' to inspect an Access calendar database meanwhile.\n",
      stdout);
  return 0;
}

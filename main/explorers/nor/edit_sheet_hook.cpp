// Until the programming tools bring their edit sheet, its buttons say so.
#include "nor_explorer.h"
#include "nor_hooks.h"

void RunEditNorSheet(CNorExplorerDlg* explorer, lx::CNorSectorTable*, int, int) {
  NorMessage(explorer, "The edit sheet is not available in this build.");
}

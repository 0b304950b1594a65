// The NOR explorer's edit sheet: its buttons open CEditNorSheet on the explorer's sector table.
#include "nor_core.h"
#include "nor_explorer.h"
#include "nor_hooks.h"
#include "programming.h"

void RunEditNorSheet(CNorExplorerDlg* explorer, lx::CNorSectorTable* table, int startPage, int mode) {
  std::vector<lx::prog::NorSector> sectors;
  if (table) {
    for (int32_t s = 0; s < table->count; ++s) sectors.push_back({table->start[s], table->size[s]});
  } else {
    sectors = lx::prog::ReadNorSectors();
  }
  CEditNorSheet sheet("Edit Data", std::move(sectors), explorer, static_cast<UINT>(startPage), mode);
  sheet.DoModal();
}

// Where the explorers open the edit sheets: the NOR explorer calls RunEditNorSheet, the Veltan
// explorer the opener installed by InstallProgrammingTools.
#include "nor_core.h"
#include "nor_explorer.h"
#include "nor_hooks.h"
#include "programming.h"
#include "veltan_core.h"
#include "veltan_explorer.h"

namespace {

void OpenVeltanEditSheet(CVeltanExplorerDlg* explorer, int sheetPage, const char* caption) {
  lx::prog::VeltanTable table;
  if (explorer && explorer->m_pBlockTable) {
    const lx::CVeltanBlockTable& blocks = *explorer->m_pBlockTable;
    table.status.assign(blocks.m_BlockStatus.begin(), blocks.m_BlockStatus.begin() + std::min<size_t>(
                                                                                     blocks.m_BlockCount, blocks.m_BlockStatus.size()));
    table.spare = blocks.m_SpareSize;
    table.noPrompt = blocks.m_NoPrompt != 0;
  } else {
    table = lx::prog::ReadVeltanTable(64);
  }
  CEditVeltanSheet sheet(caption, std::move(table), explorer, static_cast<UINT>(sheetPage));
  sheet.DoModal();
}

}  // namespace

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

void InstallProgrammingTools() { SetVeltanEditSheetOpener(OpenVeltanEditSheet); }

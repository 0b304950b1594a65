// Where tools that live outside this folder open from the NOR explorer. The edit sheet of the
// programming tools ("Edit data...", "Read", "Program", "Copy window", "Erase sector", "Verify
// data") is run through RunEditNorSheet, which the programming tools define
// (tools/programming/explorer_hooks.cpp). The explorer re-reads its window when the call returns.
#pragma once

class CNorExplorerDlg;
namespace lx {
class CNorSectorTable;
}

// startPage: 0 edit, 1 read/program, 3 copy window, 4 erase sector, 5 verify; mode: 0 edit,
// 1 read, 2 program. The sheet is modal ("Edit Data", no Apply button).
void RunEditNorSheet(CNorExplorerDlg* explorer, lx::CNorSectorTable* table, int startPage, int mode);

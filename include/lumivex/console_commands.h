// The two low-level consoles, written once: the export names of each driver kind (in the cell
// order of the main program's driver tables) and the command rows that both the main program's
// console and the NOR driver's own interpreter are built from. The NOR driver's export
// declarations and its .def file (cmake/Lumivex.cmake, lx_nor_driver_def) come from here too.
//
// Export lists. NOR: X(suffix) for the export cmd_<suffix> (its stub names it cmd_LLD_<suffix>).
// Veltan: X(name) for the full export name (its stub names it as exported). LXLLD_Init leads
// both tables and is not listed here.
//
// Rows. X(word, handler, minimum, maximum, syntax): the command word as typed, the driver export
// that serves it, the parameter bounds and the usage text. The row order is the dispatch order.
// The beginning of the syntax selects the console's checks: "[base_addr]" (base address may be
// left out and is then supplied), "base_addr" (checked against the window) and "addr" (window
// or scratchpad).
#pragma once

#define LX_NOR_DRIVER_COMMANDS(X) \
  X(exit) \
  X(SetBaseAddress) \
  X(SetWindowSize) \
  X(help) \
  X(SuperUser) \
  X(VendorCommandSet) \
  X(PrimaryExtendedTableOffset) \
  X(DeviceSize) \
  X(MaxBytesPerMultiByteWrite) \
  X(NumberOfEraseBlockRegions) \
  X(GetEraseBlockRegionInfo) \
  X(GetVersion) \
  X(AddressSensitiveUnlock) \
  X(ProcessTechnology) \
  X(EraseSuspendCapability) \
  X(SectorProtectionScheme) \
  X(SectorProtection) \
  X(SectorTemporaryUnprotect) \
  X(SimultaneousOperation) \
  X(BurstModeType) \
  X(PageModeType) \
  X(BootSectorFlag) \
  X(ProgramSuspend) \
  X(memory_dump8) \
  X(memory_dump16) \
  X(memory_dump32) \
  X(memory_read8) \
  X(memory_read16) \
  X(memory_read32) \
  X(memory_write8) \
  X(memory_write16) \
  X(memory_write32) \
  X(memory_fill8) \
  X(memory_fill16) \
  X(memory_fill32) \
  X(memory_search8) \
  X(memory_search16) \
  X(memory_search32) \
  X(memory_interface) \
  X(job) \
  X(var) \
  X(var8) \
  X(var16) \
  X(var32) \
  X(label) \
  X(goto) \
  X(if) \
  X(disp) \
  X(edit_job) \
  X(list_job) \
  X(delete_line) \
  X(delete_job) \
  X(ResetCmd) \
  X(SectorEraseCmd) \
  X(ChipEraseCmd) \
  X(SectorEraseOp) \
  X(ChipEraseOp) \
  X(WriteBufferProgramOp) \
  X(ReadOp) \
  X(GetDeviceId) \
  X(memcpy) \
  X(DelayMilliseconds) \
  X(DelayMicroseconds) \
  X(ProgramCmd) \
  X(SecSiSectorExitCmd) \
  X(WriteToBufferCmd) \
  X(CfiExitCmd) \
  X(ProgramBufferToFlashCmd) \
  X(ProgramOp) \
  X(ReadCfiWord) \
  X(SetConfigRegCmd) \
  X(ReadConfigRegCmd) \
  X(SecSiSectorEntryCmd) \
  X(UnlockBypassEntryCmd) \
  X(UnlockBypassProgramCmd) \
  X(UnlockBypassResetCmd) \
  X(AutoselectEntryCmd) \
  X(AutoselectExitCmd) \
  X(ProgramSuspendCmd) \
  X(EraseSuspendCmd) \
  X(EraseResumeCmd) \
  X(ProgramResumeCmd) \
  X(CfiEntryCmd) \
  X(WriteBufferAbortResetCmd) \
  X(StatusGet) \
  X(Poll) \
  X(ResetTrace) \
  X(DisplayTrace) \
  X(LockRegEntryCmd) \
  X(LockRegBitsProgramCmd) \
  X(LockRegBitsReadCmd) \
  X(LockRegExitCmd) \
  X(PasswordProtectionEntryCmd) \
  X(PasswordProtectionProgramCmd) \
  X(PasswordProtectionReadCmd) \
  X(PasswordProtectionUnlockCmd) \
  X(PasswordProtectionExitCmd) \
  X(PpbEntryCmd) \
  X(PpbProgramCmd) \
  X(PpbAllEraseCmd) \
  X(PpbStatusReadCmd) \
  X(PpbExitCmd) \
  X(PpbLockBitEntryCmd) \
  X(PpbLockBitSetCmd) \
  X(PpbLockBitReadCmd) \
  X(PpbLockBitExitCmd) \
  X(DybEntryCmd) \
  X(DybSetCmd) \
  X(DybClrCmd) \
  X(DybReadCmd) \
  X(DybExitCmd) \
  X(PpbLockBitReadOp) \
  X(PpbLockBitSetOp) \
  X(LockRegBitsReadOp) \
  X(LockRegBitsProgramOp) \
  X(PpbAllEraseOp) \
  X(PpbStatusReadOp) \
  X(PpbProgramOp)

#define LX_VELTAN_DRIVER_COMMANDS(X) \
  X(cmd_exit) \
  X(cmd_SetBaseAddress) \
  X(cmd_SetWindowSize) \
  X(cmd_help) \
  X(cmd_SuperUser) \
  X(cmd_memory_dump8) \
  X(cmd_memory_dump16) \
  X(cmd_memory_dump32) \
  X(cmd_memory_read8) \
  X(cmd_memory_read16) \
  X(cmd_memory_read32) \
  X(cmd_memory_write8) \
  X(cmd_memory_write16) \
  X(cmd_memory_write32) \
  X(cmd_memory_fill8) \
  X(cmd_memory_fill16) \
  X(cmd_memory_fill32) \
  X(cmd_memory_search8) \
  X(cmd_memory_search16) \
  X(cmd_memory_search32) \
  X(cmd_job) \
  X(cmd_var) \
  X(cmd_var8) \
  X(cmd_var16) \
  X(cmd_var32) \
  X(cmd_label) \
  X(cmd_goto) \
  X(cmd_if) \
  X(cmd_disp) \
  X(cmd_edit_job) \
  X(cmd_list_job) \
  X(cmd_delete_line) \
  X(cmd_delete_job) \
  X(cmd_NandSegmentReadOp) \
  X(cmd_NandSegmentProgramOp) \
  X(cmd_NandResetCmd) \
  X(cmd_NandResetOp) \
  X(cmd_NandReadIdCmd) \
  X(cmd_NandReadIdOp) \
  X(cmd_NandStatusReadCmd) \
  X(cmd_NandStatusReadOp) \
  X(cmd_NandGetReadyBusyOutputPin) \
  X(cmd_NandPageReadCmd) \
  X(cmd_NandPageReadOp) \
  X(cmd_NandSpareReadCmd) \
  X(cmd_NandSpareReadOp) \
  X(cmd_NandPartialPageReadCmd) \
  X(cmd_NandPartialPageReadOp) \
  X(cmd_NandPageProgramCmd) \
  X(cmd_NandPageProgramConfirmCmd) \
  X(cmd_NandPageProgramOp) \
  X(cmd_NandSpareProgramCmd) \
  X(cmd_NandSpareProgramOp) \
  X(cmd_NandPartialPageProgramOp) \
  X(cmd_NandReadForPageDuplicateCmd) \
  X(cmd_NandPageDuplicateProgramCmd) \
  X(cmd_NandPageDuplicateProgramOp) \
  X(cmd_NandBlockEraseCmd) \
  X(cmd_NandBlockEraseOp) \
  X(cmd_NandChipEraseOp) \
  X(cmd_NandCalcEccOp) \
  X(cmd_NandCorrectDataOp) \
  X(cmd_NandScanBadBlockOp) \
  X(cmd_NandMarkBadBlockOp) \
  X(cmd_NandIsBadBlockOp) \
  X(cmd_NandSetZentraModeCmd) \
  X(cmd_NandSetZentraModeOp) \
  X(cmd_NandZentraPreProgramCmd) \
  X(cmd_NandZentraPreProgramOp) \
  X(cmd_NandZentraMoveProgramCmd) \
  X(cmd_NandZentraMoveOp) \
  X(cmd_NandBlockNormalZentraStatusInquiryCmd) \
  X(cmd_NandBlockNormalZentraStatusInquiryOp) \
  X(ouv_RDESPN) \
  X(ouv_RDELPN) \
  X(ouv_RSESPN) \
  X(ouv_RSELPN) \
  X(ouv_EPDVESPN) \
  X(ouv_EPDVELPN) \
  X(ouv_EPSVESPN) \
  X(ouv_EPSVELPN) \
  X(ouv_EBVESPN) \
  X(ouv_EBVELPN) \
  X(ouv_SBBESPN) \
  X(ouv_SBBELPN) \
  X(ouv_CacheProgram) \
  X(ouv_PageDuplicateRandomInputProgram) \
  X(ouv_RandomRead) \
  X(ouv_all_SPN) \
  X(ouv_all_LPN) \
  X(cmd_ResetTrace) \
  X(cmd_DisplayTrace)

#define LX_NOR_DRIVER_COMMAND_COUNT 118
#define LX_VELTAN_DRIVER_COMMAND_COUNT 92

#define LX_SYN_NONE ""
#define LX_SYN_BASE "[base_addr]"
#define LX_SYN_BASE_OFFSET "[base_addr] offset"
#define LX_SYN_BASE_OFFSET_DATA "[base_addr] offset data"
#define LX_SYN_BASE_COPY "[base_addr] offset byte_count source_addr"
#define LX_SYN_VAR "varname [= value [op value]]   where op is one of: + - * / < > & |"
#define LX_SYN_NA_BLOCK "[base_addr] block"
#define LX_SYN_NA_ROW "[base_addr] row_addr"
#define LX_SYN_NA_COL_ROW "[base_addr] col_addr row_addr"
#define LX_SYN_NA_READ "[base_addr] col_addr row_addr dest_mem_addr"
#define LX_SYN_NA_PROGRAM "[base_addr] col_addr row_addr src_mem_addr"
#define LX_SYN_NA_DUPLICATE "[base_addr] src_col_addr src_row_addr dest_col_addr dest_row_addr"

// A word whose handler is cmd_ followed by the word itself.
#define LX_CMD_W(X, word, min, max, syntax) X(#word, cmd_##word, min, max, syntax)
// A NAND-interface word "Na<rest>" served by cmd_Nand<rest>.
#define LX_CMD_NA(X, rest, min, max, syntax) X("Na" #rest, cmd_Nand##rest, min, max, syntax)
// A verification word served by ouv_<word>, without parameters.
#define LX_CMD_OUV(X, word) X(#word, ouv_##word, 0, 0, LX_SYN_NONE)

// Rows shared by both consoles.
#define LX_CONSOLE_HEAD_ROWS(X)                                  \
  X("exit", cmd_exit, 0, 0, LX_SYN_NONE)                         \
  X("quit", cmd_exit, 0, 0, LX_SYN_NONE)                         \
  LX_CMD_W(X, SetBaseAddress, 1, 1, "base_addr")                 \
  LX_CMD_W(X, SetWindowSize, 1, 1, "length")                     \
  X("help", cmd_help, 0, 0, LX_SYN_NONE)                         \
  X("?", cmd_help, 0, 0, LX_SYN_NONE)                            \
  LX_CMD_W(X, SuperUser, 0, 0, LX_SYN_NONE)

#define LX_CONSOLE_MEMORY_ROWS(X)                                           \
  X("d8", cmd_memory_dump8, 1, 2, "addr [size]")                            \
  X("d16", cmd_memory_dump16, 1, 2, "addr [size]")                          \
  X("d32", cmd_memory_dump32, 1, 2, "addr [size]")                          \
  X("r8", cmd_memory_read8, 1, 1, "addr")                                   \
  X("r16", cmd_memory_read16, 1, 1, "addr")                                 \
  X("r32", cmd_memory_read32, 1, 1, "addr")                                 \
  X("w8", cmd_memory_write8, 2, 2, "addr data")                             \
  X("w16", cmd_memory_write16, 2, 2, "addr data")                           \
  X("w32", cmd_memory_write32, 2, 2, "addr data")                           \
  X("f8", cmd_memory_fill8, 3, 4, "addr addr_end data [+-]")                \
  X("f16", cmd_memory_fill16, 3, 4, "addr addr_end data [+-]")              \
  X("f32", cmd_memory_fill32, 3, 4, "addr addr_end data [+-]")              \
  X("s8", cmd_memory_search8, 3, 4, "addr addr_end [!]data [+-]")           \
  X("s16", cmd_memory_search16, 3, 4, "addr addr_end [!]data [+-]")         \
  X("s32", cmd_memory_search32, 3, 4, "addr addr_end [!]data [+-]")

#define LX_CONSOLE_JOB_ROWS(X)                                                                      \
  LX_CMD_W(X, job, 0, 0, LX_SYN_NONE)                                                               \
  LX_CMD_W(X, var, 1, 5, LX_SYN_VAR)                                                                \
  LX_CMD_W(X, var8, 1, 5, LX_SYN_VAR)                                                               \
  LX_CMD_W(X, var16, 1, 5, LX_SYN_VAR)                                                              \
  LX_CMD_W(X, var32, 1, 5, LX_SYN_VAR)                                                              \
  LX_CMD_W(X, label, 1, 1, "label_name")                                                            \
  LX_CMD_W(X, goto, 1, 1, "label_name")                                                             \
  LX_CMD_W(X, if, 3, 5, "value [op value] goto label_name   where op is boolean, one of: = < >")   \
  LX_CMD_W(X, disp, 1, 30, "string")                                                                \
  X("EditJob", cmd_edit_job, 0, 1, "line_number")                                                   \
  X("ListJob", cmd_list_job, 0, 0, LX_SYN_NONE)                                                     \
  X("DeleteLine", cmd_delete_line, 1, 1, "line_number")                                             \
  X("DeleteJob", cmd_delete_job, 0, 0, LX_SYN_NONE)

// The NOR driver's memory commands: the shared ones and the bus-interface switch.
#define LX_NOR_MEMORY_ROWS(X) \
  LX_CONSOLE_MEMORY_ROWS(X)   \
  X("interface", cmd_memory_interface, 0, 1, "raw/macro")

#define LX_CONSOLE_TRACE_ROWS_RESET(X)            \
  LX_CMD_W(X, ResetTrace, 0, 0, LX_SYN_NONE)      \
  X("rt", cmd_ResetTrace, 0, 0, LX_SYN_NONE)
#define LX_CONSOLE_TRACE_ROWS_DISPLAY(X)          \
  LX_CMD_W(X, DisplayTrace, 0, 0, LX_SYN_NONE)    \
  X("dt", cmd_DisplayTrace, 0, 0, LX_SYN_NONE)

#define LX_NOR_CFI_ROWS(X)                                         \
  LX_CMD_W(X, VendorCommandSet, 1, 1, LX_SYN_BASE)                 \
  LX_CMD_W(X, PrimaryExtendedTableOffset, 1, 1, LX_SYN_BASE)       \
  LX_CMD_W(X, DeviceSize, 1, 1, LX_SYN_BASE)                       \
  LX_CMD_W(X, MaxBytesPerMultiByteWrite, 1, 1, LX_SYN_BASE)        \
  LX_CMD_W(X, NumberOfEraseBlockRegions, 1, 1, LX_SYN_BASE)        \
  LX_CMD_W(X, GetEraseBlockRegionInfo, 1, 1, LX_SYN_BASE)          \
  LX_CMD_W(X, GetVersion, 1, 1, LX_SYN_BASE)                       \
  LX_CMD_W(X, AddressSensitiveUnlock, 1, 1, LX_SYN_BASE)           \
  LX_CMD_W(X, ProcessTechnology, 1, 1, LX_SYN_BASE)                \
  LX_CMD_W(X, EraseSuspendCapability, 1, 1, LX_SYN_BASE)           \
  LX_CMD_W(X, SectorProtectionScheme, 1, 1, LX_SYN_BASE)           \
  LX_CMD_W(X, SectorProtection, 1, 1, LX_SYN_BASE)                 \
  LX_CMD_W(X, SectorTemporaryUnprotect, 1, 1, LX_SYN_BASE)         \
  LX_CMD_W(X, SimultaneousOperation, 1, 1, LX_SYN_BASE)            \
  LX_CMD_W(X, BurstModeType, 1, 1, LX_SYN_BASE)                    \
  LX_CMD_W(X, PageModeType, 1, 1, LX_SYN_BASE)                     \
  LX_CMD_W(X, BootSectorFlag, 1, 1, LX_SYN_BASE)                   \
  LX_CMD_W(X, ProgramSuspend, 1, 1, LX_SYN_BASE)

#define LX_NOR_OPERATION_ROWS(X)                                                    \
  LX_CMD_W(X, ResetCmd, 1, 1, LX_SYN_BASE)                                          \
  LX_CMD_W(X, SectorEraseCmd, 2, 2, LX_SYN_BASE_OFFSET)                             \
  LX_CMD_W(X, ChipEraseCmd, 1, 1, LX_SYN_BASE)                                      \
  LX_CMD_W(X, SectorEraseOp, 2, 2, LX_SYN_BASE_OFFSET)                              \
  LX_CMD_W(X, ChipEraseOp, 1, 1, LX_SYN_BASE)                                       \
  LX_CMD_W(X, WriteBufferProgramOp, 4, 4, LX_SYN_BASE_COPY)                         \
  LX_CMD_W(X, ReadOp, 2, 2, LX_SYN_BASE_OFFSET)                                     \
  LX_CMD_W(X, GetDeviceId, 1, 1, LX_SYN_BASE)                                       \
  X("Memcpy", cmd_memcpy, 4, 4, LX_SYN_BASE_COPY)                                   \
  LX_CMD_W(X, DelayMilliseconds, 1, 1, "milliseconds")                              \
  LX_CMD_W(X, DelayMicroseconds, 1, 1, "microseconds")                              \
  LX_CMD_W(X, ProgramCmd, 3, 3, LX_SYN_BASE_OFFSET_DATA)                            \
  LX_CMD_W(X, SecSiSectorExitCmd, 1, 1, LX_SYN_BASE)                                \
  LX_CMD_W(X, WriteToBufferCmd, 2, 2, LX_SYN_BASE_OFFSET)                           \
  LX_CMD_W(X, CfiExitCmd, 1, 1, LX_SYN_BASE)                                        \
  X("WriteBufferToFlashCmd", cmd_ProgramBufferToFlashCmd, 2, 2, LX_SYN_BASE_OFFSET) \
  LX_CMD_W(X, ProgramOp, 3, 3, LX_SYN_BASE_OFFSET_DATA)                             \
  LX_CMD_W(X, ReadCfiWord, 2, 2, LX_SYN_BASE_OFFSET)                                \
  X("ConfigRegSetCmd", cmd_SetConfigRegCmd, 2, 2, "[base_addr] value")              \
  X("ConfigRegReadCmd", cmd_ReadConfigRegCmd, 1, 1, LX_SYN_BASE)                    \
  LX_CMD_W(X, SecSiSectorEntryCmd, 1, 1, LX_SYN_BASE)                               \
  LX_CMD_W(X, UnlockBypassEntryCmd, 1, 1, LX_SYN_BASE)                              \
  LX_CMD_W(X, UnlockBypassProgramCmd, 3, 3, LX_SYN_BASE_OFFSET_DATA)                \
  LX_CMD_W(X, UnlockBypassResetCmd, 1, 1, LX_SYN_BASE)                              \
  LX_CMD_W(X, AutoselectEntryCmd, 1, 1, LX_SYN_BASE)                                \
  LX_CMD_W(X, AutoselectExitCmd, 1, 1, LX_SYN_BASE)                                 \
  LX_CMD_W(X, ProgramSuspendCmd, 2, 2, LX_SYN_BASE_OFFSET)                          \
  LX_CMD_W(X, EraseSuspendCmd, 2, 2, LX_SYN_BASE_OFFSET)                            \
  LX_CMD_W(X, EraseResumeCmd, 2, 2, LX_SYN_BASE_OFFSET)                             \
  LX_CMD_W(X, ProgramResumeCmd, 2, 2, LX_SYN_BASE_OFFSET)                           \
  LX_CMD_W(X, CfiEntryCmd, 1, 1, LX_SYN_BASE)                                       \
  LX_CMD_W(X, WriteBufferAbortResetCmd, 1, 1, LX_SYN_BASE)                          \
  LX_CMD_W(X, StatusGet, 2, 2, LX_SYN_BASE_OFFSET)                                  \
  LX_CMD_W(X, Poll, 4, 4, "[base_addr] offset exp_data poll_type")

#define LX_NOR_PROTECTION_ROWS(X)                                                   \
  LX_CMD_W(X, LockRegEntryCmd, 1, 1, LX_SYN_BASE)                                   \
  LX_CMD_W(X, LockRegBitsProgramCmd, 2, 2, "[base_addr] data")                      \
  LX_CMD_W(X, LockRegBitsReadCmd, 1, 1, LX_SYN_BASE)                                \
  LX_CMD_W(X, LockRegExitCmd, 1, 1, LX_SYN_BASE)                                    \
  LX_CMD_W(X, PasswordProtectionEntryCmd, 1, 1, LX_SYN_BASE)                        \
  LX_CMD_W(X, PasswordProtectionProgramCmd, 3, 3, "[base_addr] offset psw")         \
  LX_CMD_W(X, PasswordProtectionReadCmd, 1, 1, LX_SYN_BASE)                         \
  LX_CMD_W(X, PasswordProtectionUnlockCmd, 5, 5, "[base_addr] psw1 psw2 psw3 psw4") \
  LX_CMD_W(X, PasswordProtectionExitCmd, 1, 1, LX_SYN_BASE)                         \
  LX_CMD_W(X, PpbEntryCmd, 2, 2, LX_SYN_BASE_OFFSET)                                \
  LX_CMD_W(X, PpbProgramCmd, 2, 2, LX_SYN_BASE_OFFSET)                              \
  LX_CMD_W(X, PpbAllEraseCmd, 1, 1, LX_SYN_BASE)                                    \
  LX_CMD_W(X, PpbStatusReadCmd, 2, 2, LX_SYN_BASE_OFFSET)                           \
  LX_CMD_W(X, PpbExitCmd, 1, 1, LX_SYN_BASE)                                        \
  LX_CMD_W(X, PpbLockBitEntryCmd, 1, 1, LX_SYN_BASE)                                \
  LX_CMD_W(X, PpbLockBitSetCmd, 1, 1, LX_SYN_BASE)                                  \
  LX_CMD_W(X, PpbLockBitReadCmd, 1, 1, LX_SYN_BASE)                                 \
  LX_CMD_W(X, PpbLockBitExitCmd, 1, 1, LX_SYN_BASE)                                 \
  LX_CMD_W(X, DybEntryCmd, 1, 1, LX_SYN_BASE)                                       \
  LX_CMD_W(X, DybSetCmd, 2, 2, LX_SYN_BASE_OFFSET)                                  \
  LX_CMD_W(X, DybClrCmd, 2, 2, LX_SYN_BASE_OFFSET)                                  \
  LX_CMD_W(X, DybReadCmd, 2, 2, LX_SYN_BASE_OFFSET)                                 \
  LX_CMD_W(X, DybExitCmd, 1, 1, LX_SYN_BASE)                                        \
  LX_CMD_W(X, PpbLockBitReadOp, 1, 1, LX_SYN_BASE)                                  \
  LX_CMD_W(X, PpbLockBitSetOp, 1, 1, LX_SYN_BASE)                                   \
  LX_CMD_W(X, LockRegBitsReadOp, 1, 1, LX_SYN_BASE)                                 \
  LX_CMD_W(X, LockRegBitsProgramOp, 2, 2, "[base_addr] data")                       \
  LX_CMD_W(X, PpbAllEraseOp, 1, 1, LX_SYN_BASE)                                     \
  LX_CMD_W(X, PpbStatusReadOp, 2, 2, LX_SYN_BASE_OFFSET)                            \
  LX_CMD_W(X, PpbProgramOp, 2, 2, LX_SYN_BASE_OFFSET)

#define LX_NOR_SET_ROWS(X)             \
  LX_NOR_OPERATION_ROWS(X)             \
  LX_CONSOLE_TRACE_ROWS_RESET(X)       \
  LX_CONSOLE_TRACE_ROWS_DISPLAY(X)     \
  LX_NOR_PROTECTION_ROWS(X)

#define LX_VELTAN_NAND_ROWS(X)                                                  \
  LX_CMD_NA(X, SegmentReadOp, 4, 4, LX_SYN_NA_READ)                             \
  LX_CMD_NA(X, SegmentProgramOp, 4, 4, LX_SYN_NA_PROGRAM)                       \
  LX_CMD_NA(X, ResetCmd, 1, 1, LX_SYN_BASE)                                     \
  LX_CMD_NA(X, ResetOp, 1, 1, LX_SYN_BASE)                                      \
  LX_CMD_NA(X, ReadIdCmd, 1, 1, LX_SYN_BASE)                                    \
  LX_CMD_NA(X, ReadIdOp, 1, 1, LX_SYN_BASE)                                     \
  LX_CMD_NA(X, StatusReadCmd, 1, 1, LX_SYN_BASE)                                \
  LX_CMD_NA(X, StatusReadOp, 1, 1, LX_SYN_BASE)                                 \
  LX_CMD_NA(X, GetReadyBusyOutputPin, 1, 1, LX_SYN_BASE)                        \
  LX_CMD_NA(X, PageReadCmd, 3, 3, LX_SYN_NA_COL_ROW)                            \
  LX_CMD_NA(X, PageReadOp, 4, 4, LX_SYN_NA_READ)                                \
  LX_CMD_NA(X, SpareReadCmd, 3, 3, LX_SYN_NA_COL_ROW)                           \
  LX_CMD_NA(X, SpareReadOp, 4, 4, LX_SYN_NA_READ)                               \
  LX_CMD_NA(X, PartialPageReadCmd, 3, 3, LX_SYN_NA_COL_ROW)                     \
  LX_CMD_NA(X, PartialPageReadOp, 5, 5, LX_SYN_NA_READ " num_flash_data")       \
  LX_CMD_NA(X, PageProgramCmd, 3, 3, LX_SYN_NA_COL_ROW)                         \
  LX_CMD_NA(X, PageProgramConfirmCmd, 1, 1, LX_SYN_BASE)                        \
  LX_CMD_NA(X, PageProgramOp, 4, 4, LX_SYN_NA_PROGRAM)                          \
  LX_CMD_NA(X, SpareProgramCmd, 3, 3, LX_SYN_NA_COL_ROW)                        \
  LX_CMD_NA(X, SpareProgramOp, 4, 4, LX_SYN_NA_PROGRAM)                         \
  LX_CMD_NA(X, PartialPageProgramOp, 5, 5, LX_SYN_NA_PROGRAM " num_flash_data") \
  LX_CMD_NA(X, ReadForPageDuplicateCmd, 3, 3, LX_SYN_NA_COL_ROW)                \
  LX_CMD_NA(X, PageDuplicateProgramCmd, 3, 3, LX_SYN_NA_COL_ROW)                \
  LX_CMD_NA(X, PageDuplicateProgramOp, 5, 5, LX_SYN_NA_DUPLICATE)               \
  LX_CMD_NA(X, BlockEraseCmd, 2, 2, LX_SYN_NA_BLOCK)                            \
  LX_CMD_NA(X, BlockEraseOp, 2, 2, LX_SYN_NA_BLOCK)                             \
  LX_CMD_NA(X, ChipEraseOp, 1, 1, LX_SYN_BASE)                                  \
  LX_CMD_NA(X, CalcEccOp, 1, 1, "mem_addr")                                     \
  LX_CMD_NA(X, CorrectDataOp, 2, 2, "mem_addr ecc_code")                        \
  X("NaScanBadBlkOp", cmd_NandScanBadBlockOp, 3, 3, "[base_addr] block_start block_count") \
  X("NaMarkBadBlkOp", cmd_NandMarkBadBlockOp, 2, 2, LX_SYN_NA_BLOCK)           \
  X("NaIsBadBlkOp", cmd_NandIsBadBlockOp, 2, 2, LX_SYN_NA_BLOCK)               \
  LX_CMD_NA(X, SetZentraModeCmd, 1, 1, LX_SYN_BASE)                             \
  LX_CMD_NA(X, SetZentraModeOp, 1, 1, LX_SYN_BASE)                              \
  LX_CMD_NA(X, ZentraPreProgramCmd, 2, 2, LX_SYN_NA_ROW)                        \
  LX_CMD_NA(X, ZentraPreProgramOp, 2, 2, LX_SYN_NA_BLOCK)                       \
  LX_CMD_NA(X, ZentraMoveProgramCmd, 3, 3, LX_SYN_NA_COL_ROW)                   \
  LX_CMD_NA(X, ZentraMoveOp, 5, 5, LX_SYN_NA_DUPLICATE)                         \
  LX_CMD_NA(X, BlockNormalZentraStatusInquiryCmd, 2, 2, LX_SYN_NA_ROW)          \
  LX_CMD_NA(X, BlockNormalZentraStatusInquiryOp, 2, 2, LX_SYN_NA_ROW)

#define LX_VELTAN_VERIFY_ROWS(X)                                  \
  LX_CMD_OUV(X, RDESPN) LX_CMD_OUV(X, RDELPN)                     \
  LX_CMD_OUV(X, RSESPN) LX_CMD_OUV(X, RSELPN)                     \
  LX_CMD_OUV(X, EPDVESPN) LX_CMD_OUV(X, EPDVELPN)                 \
  LX_CMD_OUV(X, EPSVESPN) LX_CMD_OUV(X, EPSVELPN)                 \
  LX_CMD_OUV(X, EBVESPN) LX_CMD_OUV(X, EBVELPN)                   \
  LX_CMD_OUV(X, SBBESPN) LX_CMD_OUV(X, SBBELPN)                   \
  LX_CMD_OUV(X, CacheProgram)                                     \
  LX_CMD_OUV(X, PageDuplicateRandomInputProgram)                  \
  LX_CMD_OUV(X, RandomRead)                                       \
  X("runallSPN", ouv_all_SPN, 0, 0, LX_SYN_NONE)                  \
  X("runallLPN", ouv_all_LPN, 0, 0, LX_SYN_NONE)

// The NOR console: 122 commands.
#define LX_NOR_COMMAND_ROWS(X)                          \
  LX_CONSOLE_HEAD_ROWS(X)                               \
  LX_NOR_CFI_ROWS(X)                                    \
  LX_NOR_MEMORY_ROWS(X)                                 \
  LX_CONSOLE_JOB_ROWS(X)                                \
  LX_NOR_SET_ROWS(X)

// The Veltan console: 96 commands.
#define LX_VELTAN_COMMAND_ROWS(X) \
  LX_CONSOLE_HEAD_ROWS(X)         \
  LX_CONSOLE_MEMORY_ROWS(X)       \
  LX_CONSOLE_JOB_ROWS(X)          \
  LX_VELTAN_NAND_ROWS(X)          \
  LX_VELTAN_VERIFY_ROWS(X)        \
  LX_CONSOLE_TRACE_ROWS_RESET(X)  \
  LX_CONSOLE_TRACE_ROWS_DISPLAY(X)

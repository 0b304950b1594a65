/* The device API of the device modules: the one list of the 76 slots in table order.
 *
 * X(slot, name, result type, (parameters), (argument names), group, stub result, in kit module, in virtual device)
 *
 * Every entry point is an undecorated cdecl export; every argument is one 32-bit word on the
 * 32-bit target (a 64-bit argument is two words, low word first). The stub result is what the
 * binder's stub for a missing name returns, converted to the slot's result type: -1 for integer
 * results (all ones for the unsigned and 64-bit ones), 0 (NULL) for pointers and nothing for void.
 * Everything that needs the names (binder table, stubs, exports, profiler names) expands this list,
 * so the names cannot drift apart.
 */
#ifndef LUMIVEX_DEVICEAPI_SLOTS_H
#define LUMIVEX_DEVICEAPI_SLOTS_H

#define LX_DEVICE_API_SLOT_COUNT 76

#define LX_DEVICE_API_SLOTS(X) \
  X( 0, gfslInit, int, (int mode), (mode), LX_GROUP_DEVICE, -1, 1, 1) \
  X( 1, gfslBDTLMount, int, (int volume), (volume), LX_GROUP_FS, -1, 0, 1) \
  X( 2, gfslBDTLUnmount, int, (int volume), (volume), LX_GROUP_FS, -1, 0, 1) \
  X( 3, gfslMount, int, (int volume), (volume), LX_GROUP_FS, -1, 0, 1) \
  X( 4, gfslUnmount, int, (int volume), (volume), LX_GROUP_FS, -1, 0, 1) \
  X( 5, gfslFormat, int, (const char* volumePath, const char* fsType, const char* name, int reserved), (volumePath, fsType, name, reserved), LX_GROUP_FS, -1, 0, 1) \
  X( 6, gfslLowLevelFormat, int, (const char* volumePath, uint32_t offset, uint32_t size), (volumePath, offset, size), LX_GROUP_FS, -1, 0, 1) \
  X( 7, gfslGetDeviceTextInfo, int, (const char* volumePath, char* text), (volumePath, text), LX_GROUP_DEVICE, -1, 1, 1) \
  X( 8, gfslGetNumberOfBytesPerDevice, uint64_t, (const char* volumePath), (volumePath), LX_GROUP_DEVICE, -1, 1, 1) \
  X( 9, gfslVeltanGetNumberOfPhysicalBlocks, uint32_t, (const char* volumePath), (volumePath), LX_GROUP_DEVICE, -1, 1, 0) \
  X(10, gfslVeltanGetNumberOfPagesPerBlock, uint32_t, (const char* volumePath), (volumePath), LX_GROUP_DEVICE, -1, 1, 0) \
  X(11, gfslVeltanGetBBT, int, (const char* volumePath, uint8_t* table), (volumePath, table), LX_GROUP_DEVICE, -1, 1, 0) \
  X(12, gfslNORGetBlockSize, uint32_t, (const char* volumePath, uint32_t blockIndex), (volumePath, blockIndex), LX_GROUP_DEVICE, -1, 1, 0) \
  X(13, gfslVeltanReadPage, int, (int device, uint32_t value1, uint32_t value2, uint32_t dataLength, uint8_t* buffer), (device, value1, value2, dataLength, buffer), LX_GROUP_DEVICE, -1, 1, 0) \
  X(14, gfslVeltanProgramPage, int, (int device, uint32_t byteOffset, uint32_t value2, uint32_t length, const uint8_t* buffer, const uint8_t* spare), (device, byteOffset, value2, length, buffer, spare), LX_GROUP_DEVICE, -1, 1, 0) \
  X(15, gfslVeltanReadRawPage, int, (int device, uint32_t page, uint32_t pageCount, uint8_t* buffer), (device, page, pageCount, buffer), LX_GROUP_DEVICE, -1, 1, 0) \
  X(16, gfslVeltanProgramRawPage, int, (int device, uint32_t page, uint32_t pageCount, const uint8_t* buffer), (device, page, pageCount, buffer), LX_GROUP_DEVICE, -1, 1, 0) \
  X(17, gfslVeltanEraseBlock, int, (int device, uint32_t block), (device, block), LX_GROUP_DEVICE, -1, 1, 0) \
  X(18, gfslNORReadData, int, (int device, uint32_t address, uint32_t length, uint8_t* buffer), (device, address, length, buffer), LX_GROUP_DEVICE, -1, 1, 0) \
  X(19, gfslNORProgramData, int, (int device, uint32_t address, uint32_t length, const uint8_t* data), (device, address, length, data), LX_GROUP_DEVICE, -1, 1, 0) \
  X(20, gfslNORReadRawData, int, (int device, uint32_t address, uint32_t length, uint8_t* buffer), (device, address, length, buffer), LX_GROUP_DEVICE, -1, 1, 0) \
  X(21, gfslNORProgramRawData, int, (int device, uint32_t address, uint32_t length, const uint8_t* data), (device, address, length, data), LX_GROUP_DEVICE, -1, 1, 0) \
  X(22, gfslNOREraseBlock, int, (int device, uint32_t blockIndex), (device, blockIndex), LX_GROUP_DEVICE, -1, 1, 0) \
  X(23, gfslNORGetBlockStatus, int, (int device, uint32_t blockIndex, uint16_t* status), (device, blockIndex, status), LX_GROUP_DEVICE, -1, 1, 0) \
  X(24, gfslNORSetBlockStatus, int, (int device, uint32_t blockIndex, uint32_t status), (device, blockIndex, status), LX_GROUP_DEVICE, -1, 1, 0) \
  X(25, gfslNORSetASOMode, int, (int device, uint32_t mode), (device, mode), LX_GROUP_DEVICE, -1, 1, 0) \
  X(26, gfslGetNumberOfSectors, int, (int partition, int flag), (partition, flag), LX_GROUP_FS, -1, 0, 1) \
  X(27, gfslReadSectors, int, (int partition, uint32_t firstSector, uint32_t count, void* buffer, int flag), (partition, firstSector, count, buffer, flag), LX_GROUP_FS, -1, 0, 1) \
  X(28, gfslWriteSectors, int, (int partition, uint32_t firstSector, uint32_t count, const void* buffer, int flag), (partition, firstSector, count, buffer, flag), LX_GROUP_FS, -1, 0, 1) \
  X(29, gfslfopen, int, (const char* path, const char* mode), (path, mode), LX_GROUP_FS, -1, 0, 1) \
  X(30, gfslfclose, int, (int handle), (handle), LX_GROUP_FS, -1, 0, 1) \
  X(31, gfslfcloseall, int, (void), (), LX_GROUP_FS, -1, 0, 1) \
  X(32, gfslfread, uint32_t, (void* buffer, uint32_t size, uint32_t count, int handle), (buffer, size, count, handle), LX_GROUP_FS, -1, 0, 1) \
  X(33, gfslfwrite, uint32_t, (const void* buffer, uint32_t size, uint32_t count, int handle), (buffer, size, count, handle), LX_GROUP_FS, -1, 0, 1) \
  X(34, gfslftell, gfsl_long, (int handle), (handle), LX_GROUP_FS, -1, 0, 1) \
  X(35, gfslfseek, int, (int handle, gfsl_long offset, int origin), (handle, offset, origin), LX_GROUP_FS, -1, 0, 1) \
  X(36, gfslfflush, int, (int handle), (handle), LX_GROUP_FS, -1, 0, 1) \
  X(37, gfslgetcwd, char*, (char* buffer, int size), (buffer, size), LX_GROUP_FS, 0, 0, 1) \
  X(38, gfslchdir, int, (const char* path), (path), LX_GROUP_FS, -1, 0, 1) \
  X(39, gfslfchdir, int, (int handle), (handle), LX_GROUP_FS, -1, 0, 1) \
  X(40, gfslopendir, GFSL_DIR*, (const char* path), (path), LX_GROUP_FS, 0, 0, 1) \
  X(41, gfslfdopendir, GFSL_DIR*, (int handle), (handle), LX_GROUP_FS, 0, 0, 1) \
  X(42, gfslreaddir, char*, (GFSL_DIR* dir), (dir), LX_GROUP_FS, 0, 0, 1) \
  X(43, gfslreaddir_r, int, (GFSL_DIR* dir, char* nameBuffer, char** result), (dir, nameBuffer, result), LX_GROUP_FS, -1, 0, 1) \
  X(44, gfslclosedir, int, (GFSL_DIR* dir), (dir), LX_GROUP_FS, -1, 0, 1) \
  X(45, gfslrewinddir, void, (GFSL_DIR* dir), (dir), LX_GROUP_FS, 0, 0, 1) \
  X(46, gfslunlink, int, (const char* path), (path), LX_GROUP_FS, -1, 0, 1) \
  X(47, gfslrmdir, int, (const char* path), (path), LX_GROUP_FS, -1, 0, 1) \
  X(48, gfslrename, int, (const char* from, const char* to), (from, to), LX_GROUP_FS, -1, 0, 1) \
  X(49, gfslmkdir, int, (const char* path, int mode), (path, mode), LX_GROUP_FS, -1, 0, 1) \
  X(50, gfslstat, int, (const char* path, GFSL_STAT* out), (path, out), LX_GROUP_FS, -1, 0, 1) \
  X(51, gfslfstat, int, (int handle, GFSL_STAT* out), (handle, out), LX_GROUP_FS, -1, 0, 1) \
  X(52, gfslaccess, int, (const char* path, int mode), (path, mode), LX_GROUP_FS, -1, 0, 1) \
  X(53, gfsltruncate, int, (const char* path, gfsl_long length), (path, length), LX_GROUP_FS, -1, 0, 1) \
  X(54, gfslftruncate, int, (int handle, gfsl_long length), (handle, length), LX_GROUP_FS, -1, 0, 1) \
  X(55, gfslGetLastError, int, (char* text, uint32_t size), (text, size), LX_GROUP_DEVICE, -1, 1, 1) \
  X(56, gfslGetLatestSectorInfo, int, (uint32_t* a, uint32_t* b, uint32_t* c, uint32_t* d), (a, b, c, d), LX_GROUP_DEVICE, -1, 0, 1) \
  X(57, gfslCustomCallback1, int, (int a, int b, int c, int d), (a, b, c, d), LX_GROUP_DEVICE, -1, 0, 1) \
  X(58, gfslCustomCallback2, int, (int a, int b, int c, int d), (a, b, c, d), LX_GROUP_DEVICE, -1, 0, 1) \
  X(59, gfslCustomCallback3, int, (int a, int b, int c, int d), (a, b, c, d), LX_GROUP_DEVICE, -1, 0, 1) \
  X(60, gfslCustomCallback4, int, (int a, int b, int c, int d), (a, b, c, d), LX_GROUP_DEVICE, -1, 0, 1) \
  X(61, gfslCustomCallback5, int, (int a, int b, int c, int d), (a, b, c, d), LX_GROUP_DEVICE, -1, 0, 1) \
  X(62, gfslCustomCallback6, int, (int a, int b, int c, int d), (a, b, c, d), LX_GROUP_DEVICE, -1, 0, 1) \
  X(63, gfslCustomCallback7, int, (int a, int b, int c, int d), (a, b, c, d), LX_GROUP_DEVICE, -1, 0, 1) \
  X(64, gfslCustomCallback8, int, (int a, int b, int c, int d), (a, b, c, d), LX_GROUP_DEVICE, -1, 0, 1) \
  X(65, gfslDoSelfTest, int, (SelfTestRecord* params), (params), LX_GROUP_DEVICE, -1, 0, 0) \
  X(66, fpCreateFunctionProfiler, FunctionProfilerEntry*, (void), (), LX_GROUP_PROFILER, 0, 1, 1) \
  X(67, fpDestroyFunctionProfiler, int, (void), (), LX_GROUP_PROFILER, -1, 1, 1) \
  X(68, fpResetFunctionProfiler, int, (void), (), LX_GROUP_PROFILER, -1, 1, 1) \
  X(69, fpGetNumberOfProfileFunctions, int, (void), (), LX_GROUP_PROFILER, -1, 1, 1) \
  X(70, fpSetFunctionProfiler, int, (int index, uint64_t count, uint64_t accumulated), (index, count, accumulated), LX_GROUP_PROFILER, -1, 1, 1) \
  X(71, fpIncFunctionProfiler, int, (int index), (index), LX_GROUP_PROFILER, -1, 1, 1) \
  X(72, fpDecFunctionProfiler, int, (int index), (index), LX_GROUP_PROFILER, -1, 1, 1) \
  X(73, fpGetFunctionProfilerName, const char*, (int index), (index), LX_GROUP_PROFILER, 0, 1, 1) \
  X(74, fpGetFunctionProfilerCount, uint64_t, (int index), (index), LX_GROUP_PROFILER, -1, 1, 1) \
  X(75, fpGetFunctionProfilerAccumulated, uint64_t, (int index), (index), LX_GROUP_PROFILER, -1, 1, 1)

#endif

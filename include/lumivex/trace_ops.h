/* The operation codes of the kit module's bus trace records (TraceRecord.opcode in deviceapi.h),
 * written once: X(code, name, viewer text). The kit module writes them, the trace viewer names
 * them; NAND data writes have no name in the viewer (NULL). */
#pragma once
#include <stddef.h>

#define LX_TRACE_OPS(X)                                                   \
    X(1000, ReadIn, "TR_OP_READ_IN")                                      \
    X(1001, ReadOut, "TR_OP_READ_OUT")                                    \
    X(1002, ReadBlockIn, "TR_OP_READ_BLOCK_IN")                           \
    X(1003, ReadBlockOut, "TR_OP_READ_BLOCK_OUT")                         \
    X(1004, WriteIn, "TR_OP_WRITE_IN")                                    \
    X(1005, WriteOut, "TR_OP_WRITE_OUT")                                  \
    X(1006, NandDataIn, NULL)                                             \
    X(1007, NandDataOut, NULL)                                            \
    X(1008, WriteHwPollIn, "TR_OP_WRITE_HWPOLL_IN")     /* the kit polls for completion */ \
    X(1009, WriteHwPollOut, "TR_OP_WRITE_HWPOLL_OUT")                     \
    X(1010, WriteHwStatusIn, "TR_OP_WRITE_HWSTATUS_IN") /* the kit watches the toggle bit */ \
    X(1011, WriteHwStatusOut, "TR_OP_WRITE_HWSTATUS_OUT")

// The module's result codes and their names, kept for gfslGetLastError. One list, expanded
// wherever a code or a name is needed.
#pragma once
#include <cstdint>

namespace rook {

#define ROOK_ERRORS(X)                                   \
    X(1000, ERROR_TO_GET_WORKING_FOLDER)                  \
    X(1001, ERROR_TO_OPEN_MOX_INI_FILE)                   \
    X(1002, ERROR_INVALID_PARAMETER_INPUT)                \
    X(1003, ERROR_NOT_IMPLEMENTED)                        \
    X(1004, ERROR_INVALID_HANDLE_PARAM)                   \
    X(1005, ERROR_PROGRAM)                                \
    X(1006, ERROR_ERASE)                                  \
    X(1007, ERROR_MEMORY_ALLOCATION)                      \
    X(1008, ERROR_WRITE_PROTECTED)                        \
    X(1009, ERROR_ADDRESS_SPACE)                          \
    X(1030, ERROR_TO_INITIALIZE_PCI3_HAL)                 \
    X(1031, ERROR_TO_INITIALIZE_PCI4_HAL)                 \
    X(1032, ERROR_TO_INITIALIZE_TARN_HAL)                 \
    X(1033, ERROR_TO_INITIALIZE_VIRTUALDEVICE_HAL)        \
    X(1034, ERROR_APPLICATION_CLOSE_FIRST)

enum ErrorCode : int32_t {
#define ROOK_ERROR_ENUM(code, name) name = code,
    ROOK_ERRORS(ROOK_ERROR_ENUM)
#undef ROOK_ERROR_ENUM
};

// The name of a code, "Unknown Error" for any other value.
const char* ErrorName(int32_t code);

}  // namespace rook

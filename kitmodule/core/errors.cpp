#include "errors.h"

namespace rook {

const char* ErrorName(int32_t code) {
    switch (code) {
#define ROOK_ERROR_CASE(value, name) \
    case value: return #name;
        ROOK_ERRORS(ROOK_ERROR_CASE)
#undef ROOK_ERROR_CASE
    default: return "Unknown Error";
    }
}

}  // namespace rook

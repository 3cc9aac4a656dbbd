#include "picture/vector_units.h"

#include <atomic>

namespace {

std::atomic<bool> allowed{true};

}  // namespace

bool UseAvx2() {
#if defined(__x86_64__) || defined(__i386__)
    static const bool has = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return has && allowed;
#else
    return false;
#endif
}

void AllowVectorUnits(bool allow) { allowed = allow; }

// Which vector instructions this processor has, checked once at run time.
#include "stats/pair/pair_pass.h"

bool pair_path_supported(pair_path path) {
    __builtin_cpu_init();
    switch (path) {
    case path_avx512:
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512vl");
    case path_avx2: return __builtin_cpu_supports("avx2");
    case path_sse2: return true;
    }
    return false;
}

pair_path best_pair_path() {
    static const pair_path best = pair_path_supported(path_avx512) ? path_avx512
                                  : pair_path_supported(path_avx2) ? path_avx2
                                                                   : path_sse2;
    return best;
}

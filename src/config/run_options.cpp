#include "config/run_options.h"

void set_wt_method(run_options& o, const std::string& method) {
    o.wt_method = method;
    o.wt_kind = method == "3"   ? weighting::set
                : method == "2" ? weighting::list
                : method == "1" ? weighting::both
                                : weighting::unknown;
}

fdr_method fdr_in_effect(const run_options& o) {
    if (o.fdr_kind != fdr_method::automatic) return o.fdr_kind;
    return o.permutations > 0 || o.null_kind == null_method::moments ? fdr_method::bh : fdr_method::position;
}

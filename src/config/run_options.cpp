#include "config/run_options.h"

void set_wt_method(run_options& o, const std::string& method) {
    o.wt_method = method;
    o.wt_kind = method == "3"   ? weighting::set
                : method == "2" ? weighting::list
                : method == "1" ? weighting::both
                                : weighting::unknown;
}

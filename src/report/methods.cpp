#include "report/methods.h"

#include "common/output.h"

std::string treatment_words(char treatment) {
    if (treatment == '2') return "absolute value";
    if (treatment == '3') return "sign reversed";
    return "";
}

static std::string treated(char treatment) {
    if (treatment == '2') return "taken as absolute values";
    if (treatment == '3') return "reversed in sign";
    return "used as given";
}

static std::string weights_text(const run_options& o) {
    switch (o.wt_kind) {
    case weighting::list: return "a weight from the magnitude of its list score";
    case weighting::set: return "a weight from the magnitude of its set score";
    default:
        return "the geometric mean of a weight from the magnitude of its set score and one from the magnitude "
               "of its list score";
    }
}

static std::string size_text(const run_options& o) {
    bool low = o.min_size > 1, high = o.max_size < INT_MAX;
    if (!low && !high) return "";
    std::string range = low && high ? "from " + std::to_string(o.min_size) + " to " + std::to_string(o.max_size)
                        : low      ? "at least " + std::to_string(o.min_size)
                                   : "at most " + std::to_string(o.max_size);
    return " Only sets with " + range +
           " paired genes were tested; the others were neither tested nor counted in the FDR.";
}

// How the P-value was obtained. Each mode of the null distribution says it
// here in one or two sentences; a new mode adds its case before the normal
// approximation, which is the default.
static std::string p_value_text(const run_options& o) {
    if (o.permutations > 0) {
        std::string text = "The two-sided P-value was estimated from up to " + std::to_string(o.permutations) +
                           " random permutations of the list scores among each set's paired genes, drawing "
                           "stopped once " + std::to_string(o.exceed) +
                           " permutations were at least as extreme as the observed statistic, and P = (1 + "
                           "permutations at least as extreme) / (1 + permutations drawn); sets whose every "
                           "ordering cost fewer draws were enumerated exactly. The permutations came from a "
                           "counter-based generator with seed " + std::to_string(o.seed) + ".";
        if (o.null_kind == null_method::moments)
            text += " The statistic was |z|, the numerator of tau over the square root of its exact variance over "
                    "all orderings (the estimate column holds z).";
        if (o.auto_p) text += " In each permutation the best of the five PP values was kept, as for the data.";
        return text;
    }
    if (o.null_kind == null_method::moments)
        return std::string("The two-sided P-value was taken from z, the numerator of tau over the square root of its "
                           "exact variance over all orderings of the list scores among the set's paired genes "
                           "(the estimate column holds z)") +
               (o.auto_p ? "; with five PP values, from the largest |z| under the five-dimensional normal with "
                           "the exact covariance of the five numerators, so that the choice is paid for."
                         : ".") +
               (o.wt_kind == weighting::both ? ""
                                             : " With weights from one side only, the tail of each z was that of a "
                                               "symmetric beta distribution with its exact kurtosis over the "
                                               "orderings (taken without ties), and never below 1/n!.");
    return "The two-sided P-value was taken from the normal approximation of the estimate.";
}

std::string methods_text(const run_options& o, std::size_t rankings) {
    std::string against = rankings > 1 ? "each of " + std::to_string(rankings) + " ranked gene lists"
                                       : "a ranked gene list";
    std::string text = "Gene sets were tested against " + against + " with quorin " QUORIN_VERSION
                       " by a weighted Kendall rank correlation. Gene-set records scored below " +
                       num(o.tscore) + " were dropped. For each set, its genes found in the list were paired, and "
                       "tau was computed between the set's scores and the list's scores of the paired genes, "
                       "each pair of genes weighing the product of the two genes' weights; a gene's weight is " +
                       weights_text(o) +
                       ", falling from 1 for the largest magnitude to near 0 for the smallest along a curve of "
                       "shape ";
    // Moments and permutations pay for the choice of PP value (p_value_text).
    bool corrected = o.permutations > 0 || o.null_kind == null_method::moments;
    text += !o.auto_p  ? "PP 0.5 (a linear fall)"
            : corrected ? "PP 0.8, 0.65, 0.5, 0.35 or 0.2, the one of the most extreme statistic being kept for "
                          "each set"
                        : "PP 0.8, 0.65, 0.5, 0.35 or 0.2, the one giving the smallest P-value being kept for each "
                          "set without correction for the choice";
    text += o.adj_method[0] == o.adj_method[1] || (treatment_words(o.adj_method[0]).empty() &&
                                                    treatment_words(o.adj_method[1]).empty())
                ? ". Set and list scores were " + treated(o.adj_method[0]) + "."
                : ". Set scores were " + treated(o.adj_method[0]) + " and list scores " + treated(o.adj_method[1]) + ".";
    text += size_text(o);
    text += " Tau was turned into a normal score (the estimate: 1.5 \xC2\xB7 tau \xC2\xB7 \xE2\x88\x9A" "n for n paired "
            "genes, scaled down when the weights are unequal). ";
    text += p_value_text(o);
    text += fdr_in_effect(o) == fdr_method::bh
                ? " False discovery rates are the Benjamini\xE2\x80\x93Hochberg step-up values"
                : " False discovery rates are n \xC2\xB7 p / i at position i of the P-value order among n sets, "
                  "without the running minimum of the Benjamini\xE2\x80\x93Hochberg step-up (never below its value)";
    text += rankings > 1 ? ", computed over the tested sets of each ranking separately." : ", over all tested sets.";
    return text;
}

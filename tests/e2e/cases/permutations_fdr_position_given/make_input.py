# The inputs of permutations_random_threads_1, whose run this one repeats with --fdr=position.
import os
import shutil

source = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "permutations_random_threads_1", "in")
for name in os.listdir(source):
    shutil.copy(os.path.join(source, name), name)

import os
os.link("a.txt", "b.txt")

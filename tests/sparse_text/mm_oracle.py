# SciPy as the independent Matrix Market reference (run with /usr/bin/python3).
#   write DIR: DIR/<kind>.mtx by scipy.io.mmwrite and DIR/<kind>.dense, what SciPy reads back
#     (coordinate general, symmetric, pattern, integer, skew-symmetric, hermitian; array general,
#     symmetric, skew-symmetric)
#   check M.mtx M.dense: exit 0 when SciPy reads M.mtx as exactly the dense values
# Dense files: "rows cols", then the values column by column.
import sys
import numpy as np
import scipy.io
import scipy.sparse


def read_dense(path):
    words = open(path).read().split()
    return np.array([float(w) for w in words[2:]]).reshape((int(words[0]), int(words[1])), order="F")


if sys.argv[1] == "write":
    rng = np.random.default_rng(7)
    a = scipy.sparse.random(9, 6, density=0.4, random_state=3, format="coo")
    a.data = a.data * 1e5 - 3e4 + 1.0 / 3.0  # every digit counts
    lower = scipy.sparse.tril(scipy.sparse.random(7, 7, density=0.4, random_state=4) + scipy.sparse.eye(7))
    symmetric = (lower + scipy.sparse.tril(lower, -1).T).tocoo()
    integer = scipy.sparse.coo_matrix(np.where(rng.random((5, 8)) < 0.3, rng.integers(-99, 99, (5, 8)), 0))
    skew = (scipy.sparse.tril(lower, -1) - scipy.sparse.tril(lower, -1).T).tocoo()
    dense = a.toarray()[:7, :5]
    dense[dense < 0] = 0.0  # zeros an array file holds but no entry stores
    dense[0, 0] = -0.0
    cases = {"general": (a, {}), "symmetric": (symmetric, {"symmetry": "symmetric"}),
             "pattern": (a, {"field": "pattern"}), "integer": (integer, {"field": "integer"}),
             "skew": (skew, {"symmetry": "skew-symmetric"}), "hermitian": (symmetric, {"symmetry": "hermitian"}),
             "array": (dense, {}), "array-symmetric": (symmetric.toarray(), {"symmetry": "symmetric"}),
             "array-skew": (skew.toarray(), {"symmetry": "skew-symmetric"})}
    for kind, (m, options) in cases.items():
        path = "%s/%s.mtx" % (sys.argv[2], kind)
        scipy.io.mmwrite(path, m, **options)
        back = scipy.io.mmread(path)
        back = back.toarray() if scipy.sparse.issparse(back) else back
        open(path[:-4] + ".dense", "w").write("%d %d\n" % back.shape + " ".join(repr(float(x)) for x in back.flatten("F")))
else:
    ours = scipy.io.mmread(sys.argv[2])
    ours = ours.toarray() if scipy.sparse.issparse(ours) else ours
    sys.exit(0 if np.array_equal(ours, read_dense(sys.argv[3])) else 1)

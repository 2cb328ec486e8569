# Writes the binary sparse layouts 1, 6 and 7 with NumPy and SciPy alone, as an
# outside program would.  usage: write_layouts.py 1|1two|6|7 output < listing
# listing: "rows columns", then "row column value" lines, 0-based. For 1 and 6
# the stored positions are the strictly lower ones; 1two takes the upper
# values as its mirrored set.
import sys

import numpy as np
import scipy.sparse as sp

layout, output = sys.argv[1:3]
with sys.stdin as f:
    rows, cols = map(int, f.readline().split())
    t = np.loadtxt(f, ndmin=2).reshape(-1, 3)
i, j, v = t[:, 0].astype(np.int64), t[:, 1].astype(np.int64), t[:, 2]
ints = lambda a: np.asarray(a, dtype="<i4").tobytes()
reals = lambda a: np.asarray(a, dtype="<f8").tobytes()


def padded(a, items):
    out = np.zeros(items, dtype=np.asarray(a).dtype)
    out[: len(a)] = a
    return out


if layout == "7":
    dense = np.zeros((rows, cols))
    dense[i, j] = v
    data = ints([rows, cols, rows, cols]) + reals(dense.T.ravel())  # column-major
else:
    n = rows
    full = sp.coo_matrix((v, (i, j)), shape=(n, n)).tocsr()
    lower = sp.tril(full, -1, format="csr")
    lower.sort_indices()
    ptr, ind, m = lower.indptr, lower.indices, lower.nnz
    head = ints(ptr) + reals(full.diagonal())
    if layout == "6":
        c = 1 << 17
        body = b"".join(ints(padded(ind[s * c:(s + 1) * c], c)) + reals(padded(lower.data[s * c:(s + 1) * c], c))
                        for s in range(max(1, -(-m // c))))
        tail = ints([n]) + ints(ptr) + ints(ind) + ints(np.ones(n)) + ints(np.arange(n))
        data = ints([n, m, max(1, -(-m // c)), 0, 17, 1]) + head + body + tail
    else:  # chunks of 4, one column chunk more than m needs
        sets = max(1, -(-m // 4))
        head = ints([n, m, sets + 1, int(layout != "1"), 2, 0]) + head + ints(padded(ind, 4 * sets + 4))
        if layout == "1":
            data = head + reals(padded(lower.data, 4 * sets + 4))
        else:
            mirrored = np.asarray(full[ind, np.repeat(np.arange(n), np.diff(ptr))]).ravel()
            data = head + reals(padded(mirrored, 4 * sets)) + reals(padded(lower.data, 4 * sets))
with open(output, "wb") as f:
    f.write(data)

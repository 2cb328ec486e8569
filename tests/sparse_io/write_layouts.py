"""Writes the binary sparse layouts 1, 6 and 7 from a triplet listing, with
NumPy and SciPy alone, as an outside program would: the tests read these files
with the library and compare its own files with them byte for byte.

usage: write_layouts.py 1|1two|6|7 listing output
listing: "rows columns", then one "row column value" line per entry (0-based).
1, 6: the diagonal and the stored off-diagonal entries (strictly lower);
1two: a general matrix on a symmetric pattern; 7: any matrix."""
import sys

import numpy as np
import scipy.sparse as sp

layout, listing, output = sys.argv[1:4]
with open(listing) as f:
    rows, cols = map(int, f.readline().split())
    t = np.loadtxt(f, ndmin=2).reshape(-1, 3)
i, j, v = t[:, 0].astype(np.int64), t[:, 1].astype(np.int64), t[:, 2]


def ints(a):
    return np.asarray(a, dtype="<i4").tobytes()


def reals(a):
    return np.asarray(a, dtype="<f8").tobytes()


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
        k = max(1, -(-m // c))
        body = b"".join(ints(padded(ind[s * c:(s + 1) * c], c)) + reals(padded(lower.data[s * c:(s + 1) * c], c))
                        for s in range(k))
        tail = ints([n]) + ints(ptr) + ints(ind) + ints(np.ones(n)) + ints(np.arange(n))
        data = ints([n, m, k, 0, 17, 1]) + head + body + tail
    else:
        # Chunks of 4; one column chunk more than m needs, so that the
        # reader must take the value sets' place from the header.
        c, sets = 4, max(1, -(-m // 4))
        chunks = sets + 1
        columns = ints(padded(ind, chunks * c))
        if layout == "1":
            data = ints([n, m, chunks, 0, 2, 0]) + head + columns + reals(padded(lower.data, chunks * c))
        else:
            row_of = np.repeat(np.arange(n), np.diff(ptr))
            mirrored = np.asarray(full[ind, row_of]).ravel()
            data = (ints([n, m, chunks, 1, 2, 0]) + head + columns + reals(padded(mirrored, sets * c)) +
                    reals(padded(lower.data, sets * c)))
with open(output, "wb") as f:
    f.write(data)

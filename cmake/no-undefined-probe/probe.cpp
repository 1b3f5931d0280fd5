// Something for every sanitizer to instrument: a global, heap accesses,
// signed arithmetic, a shift and a branch.
int probe_table[4];

int probe(int i, int j) {
    int* values = new int[4];
    values[i & 3] = i + j;
    const int shifted = values[j & 3] << (i & 7);
    delete[] values;
    return shifted > probe_table[i & 3] ? shifted : -shifted;
}

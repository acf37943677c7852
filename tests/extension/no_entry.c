/* A library that loads but has no entry point: loading it defines nothing. */
int zintarel_sample_without_entry(int x) { return x + 1; }

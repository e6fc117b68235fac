// The data path, for the layer check's own test: the panel model and
// brenna-history must not reach it.

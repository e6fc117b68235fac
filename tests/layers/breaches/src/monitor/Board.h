// The monitor's loop, for the layer check's own test: the panel model,
// brenna-history and receiving must not reach it.

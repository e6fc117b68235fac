// The Windows window, for the layer check's own test: the Qt window must
// not reach it.

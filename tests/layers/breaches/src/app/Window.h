// The top layer, for the layer check's own test: the breaches below reach it.

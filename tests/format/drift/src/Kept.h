// Keeps the tree's formatting: the format check must not name it.
inline int Kept(int a, int b) { return a + b; }

// Drifts from the tree's formatting on purpose: the format check must name it.
int  Drift( int a,int b ) { return a+b; }

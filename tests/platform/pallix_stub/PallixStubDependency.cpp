// A library that exports one libPallix name itself: linked under a stub
// that lacks that name, it must not stand in for it.
extern "C" __attribute__((visibility("default"))) int ReadNetData(int, void*, int) { return 777; }

// A stand-in module for the loader test: exports DoStart, which reports the lab screen
// as the user's choice, unless built without the entry.
class CVeloDBSys;

#ifndef FAKE_MODULE_WITHOUT_ENTRY
extern "C" __attribute__((visibility("default"))) int DoStart(CVeloDBSys*) { return 1107; }
#else
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return 0; }
#endif

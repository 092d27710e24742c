// A stand-in module for the loader test: exports DoStart, which reports the lab screen
// as the user's choice, unless built without the entry. Built as the lab module it exports
// VeloLabOnStart instead, which chooses the daily screen.
class CVeloDBSys;

#if defined(FAKE_LAB_MODULE)
extern "C" __attribute__((visibility("default"))) int VeloLabOnStart(CVeloDBSys*) { return 1104; }
#elif !defined(FAKE_MODULE_WITHOUT_ENTRY)
extern "C" __attribute__((visibility("default"))) int DoStart(CVeloDBSys*) { return 1107; }
#else
extern "C" __attribute__((visibility("default"))) int SomethingElse() { return 0; }
#endif

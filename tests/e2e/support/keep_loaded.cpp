// Preloaded into the sanitized program by the e2e runner: a dlclose that leaves the library in
// place. Leak reports are made at exit, after Mesa has unloaded its driver; frames in an
// unloaded library have no name, so no report could say whose leak it is, nor be suppressed.
extern "C" int dlclose(void*) { return 0; }

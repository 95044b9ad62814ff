// Leaks that are not ours, left out of the leak checker's report in the sanitizer build.
// fontconfig keeps its configuration for the life of the process once a painter has asked for
// a font (offscreen plots and graph pictures) and never frees it.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

// Font configuration keeps caches for the life of the process; under the leak checker of the
// sanitizer builds they show as lost at exit. Nothing of ours is suppressed. (The hook is read
// only by the leak checker; other builds ignore it.)
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }
